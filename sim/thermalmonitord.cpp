// The simulated thermalmonitord. In the platform's order: the daemon's classes are
// registered, then the injected libraries are loaded (their initialisers run), then the
// daemon starts its objects and runs until SIGTERM.
//
//   thermalmonitord [--inject LIBRARY]... [--omit WHAT] [--tick-ms N] [--config DIR]
//
// Environment (read by the simulation only):
//   HALVERNIC_SIM_INJECT    libraries to inject, separated by ':' (after those of --inject)
//   HALVERNIC_SIM_OMIT      classes or "Class/selector" methods to leave out (sim::Options)
//   HALVERNIC_SIM_TICK_MS   period of the thermal model's steps; 0 never steps (default 1000)
//   HALVERNIC_SIM_CONFIG_DIR  the configuration folder (default: this tree's)
//   HALVERNIC_SIM_CALL_LOG  a file that receives, on SIGUSR1 and on SIGTERM, every call that
//                           reached the daemon's classes ("call <Class> <selector> <args>")
//                           and every method a library replaced ("replaced -[Class sel]")
//
// Prints "thermalmonitord: ready" on standard output once started. SIGTERM ends the
// process by that signal, as launchd sees it on a device.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/thread.hpp"
#include "sim/sim.hpp"

namespace sim = halvernic::sim;

namespace {

std::string env(const char* name, const char* fallback = "") {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find(separator, start);
    const std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!part.empty()) parts.push_back(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

// The executable's own file name, as the tweak loader matches it.
std::string executable_name(const char* argv0) {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string path = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string(argv0);
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void write_call_log(const std::string& path) {
  if (path.empty()) return;
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const sim::Call& call : sim::calls()) out << "call " << call.class_name << ' ' << call.text() << '\n';
    for (const std::string& method : sim::replaced_methods()) out << "replaced " << method << '\n';
  }
  std::rename(temporary.c_str(), path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread exists: the signals are taken by sigwait below, whichever thread
  // (the daemon's, a library's) sends them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  objc::attach_current_thread();
  objc::AutoreleasePool pool;

  std::vector<std::string> inject;
  std::string omit = env("HALVERNIC_SIM_OMIT");
  std::string tick_ms = env("HALVERNIC_SIM_TICK_MS", "1000");
  std::string config = env("HALVERNIC_SIM_CONFIG_DIR", sim::default_configuration_folder().c_str());
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--inject")) {
      inject.push_back(argv[i + 1]);
    } else if (!std::strcmp(argv[i], "--omit")) {
      omit += std::string(",") + argv[i + 1];
    } else if (!std::strcmp(argv[i], "--tick-ms")) {
      tick_ms = argv[i + 1];
    } else if (!std::strcmp(argv[i], "--config")) {
      config = argv[i + 1];
    } else {
      std::fprintf(stderr, "thermalmonitord: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  for (const std::string& library : split(env("HALVERNIC_SIM_INJECT"), ':')) inject.push_back(library);

  sim::register_classes(sim::Options::parse(omit));
  sim::load_injected_libraries(inject, executable_name(argv[0]));

  sim::Daemon daemon;
  daemon.start(config);
  std::printf("thermalmonitord: ready\n");
  std::fflush(stdout);

  const long period = std::strtol(tick_ms.c_str(), nullptr, 10);
  if (period > 0) {
    std::thread([&daemon, period] {
      objc::attach_current_thread();
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(period));
        daemon.tick();
      }
    }).detach();
  }

  const std::string call_log = env("HALVERNIC_SIM_CALL_LOG");
  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) continue;
    write_call_log(call_log);
    if (signal == SIGTERM) {
      std::fflush(nullptr);
      ::signal(SIGTERM, SIG_DFL);
      sigset_t term;
      sigemptyset(&term);
      sigaddset(&term, SIGTERM);
      pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
      ::raise(SIGTERM);
      return 128 + SIGTERM;  // not reached
    }
  }
}
