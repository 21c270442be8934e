// The process's argument vector, as the platform's C runtime hands it out. The C library
// passes argc, argv and the environment to every initialiser of a loaded library; the
// vector kept here is the process's own (the same pointers main receives).
#include <crt_externs.h>

#include <cstring>

extern "C" char** environ;

namespace {

int saved_argc = 0;
char** saved_argv = nullptr;
char* saved_progname = nullptr;

void capture_arguments(int argc, char** argv, char** /*envp*/) {
  saved_argc = argc;
  saved_argv = argv;
  if (argc > 0 && argv && argv[0]) {
    const char* slash = std::strrchr(argv[0], '/');
    saved_progname = slash ? const_cast<char*>(slash + 1) : argv[0];
  }
}

// An initialiser with the C library's (argc, argv, envp) signature.
[[gnu::section(".init_array"), gnu::used]] void (*const capture_entry)(int, char**,
                                                                       char**) = &capture_arguments;

}  // namespace

extern "C" {
[[gnu::visibility("default")]] char*** _NSGetArgv(void) { return &saved_argv; }
[[gnu::visibility("default")]] int* _NSGetArgc(void) { return &saved_argc; }
[[gnu::visibility("default")]] char*** _NSGetEnviron(void) { return &environ; }
[[gnu::visibility("default")]] char** _NSGetProgname(void) { return &saved_progname; }
}
