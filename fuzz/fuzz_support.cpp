#include "fuzz/fuzz_support.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "common/objc/runtime.hpp"
#include "common/objc/thread.hpp"

extern "C" {
using NSLogPrintfHandler = void(id message);
extern NSLogPrintfHandler* _NSLog_printf_handler;
}

namespace hv_fuzz {

namespace {
std::string& scratch_folder() {
  static std::string* folder = new std::string;
  return *folder;
}
void drop_line(id) {}
}  // namespace

void set_up() {
  if (!scratch_folder().empty()) return;
  objc::attachCurrentThread();
  char folder[] = "/tmp/hv-fuzz-XXXXXX";
  if (!mkdtemp(folder)) fail("mkdtemp");
  scratch_folder() = folder;
  setenv("HALVERNIC_DEVICE_ROOT", folder, 1);
}

const std::string& scratch() { return scratch_folder(); }

bool write_file(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return done == size;
}

void fail(const char* what) {
  std::fprintf(stderr, "finding: %s\n", what);
  std::fflush(stderr);
  __builtin_trap();
}

void discard_log_lines() { _NSLog_printf_handler = &drop_line; }

}  // namespace hv_fuzz
