// The simulated thermalmonitord. In the platform's order: the daemon's classes are
// registered, then the injected libraries are loaded (their initialisers run), then the
// daemon starts its objects and runs until SIGTERM.
//
//   thermalmonitord [--inject LIBRARY]... [--tweak-folder DIR] [--omit WHAT] [--retype WHAT]
//                   [--tick-ms N] [--config DIR] [--cpu-demand POWER] [--steps N --trace FILE]
//
// --retype registers methods with other type encodings, as a future system might declare
// them ("MitigationController/setCPULevel:=v20@0:8q16", several separated by commas).
// --tweak-folder loads the libraries of DIR whose filter list admits the process, as the
// jailbreak's injector does (after those of --inject). --cpu-demand sets the workload's
// CPU power (default 30000). --steps runs steps of the thermal model back to back (one
// simulated second each, no waiting) after the start until the model's time reaches N
// seconds, writes one line per step to FILE (trace_line below) and exits with status 0.
// On a device (HALVERNIC_DEVICE_ROOT set) the model is the device's hardware
// (sim::Daemon::use_device_hardware): a daemon continues the time and the temperatures its
// predecessor left, and with --steps the process's delayed work (dispatch) runs on that
// time, between the steps; a daemon ended for a restart by then ends by SIGTERM after the
// step (its lines so far in FILE), and the next one, started the same way, appends the rest.
// A number that is not a whole one within its bounds (--tick-ms 0 to 60000, --steps 1 to
// 10000000, --cpu-demand 0 to 1000000) is refused with status 2.
//
// Environment (read by the simulation only):
//   HALVERNIC_SIM_INJECT    libraries to inject, separated by ':' (after those of --inject)
//   HALVERNIC_SIM_TWEAK_FOLDER  as --tweak-folder
//   HALVERNIC_SIM_STATE_FILE  a file that receives the daemon's state as "name value"
//                           lines (state_lines below) once it is ready, then on each SIGUSR1;
//                           the line "report N" counts the reports
//   HALVERNIC_SIM_CALL_RECORD  how many recent calls the record keeps (default 16384)
//   HALVERNIC_SIM_OMIT      classes or "Class/selector" methods to leave out (sim::Options)
//   HALVERNIC_SIM_RETYPE    as --retype
//   HALVERNIC_SIM_TICK_MS   period of the thermal model's steps; 0 never steps (default 1000)
//   HALVERNIC_SIM_CONFIG_DIR  the configuration folder (default: this tree's)
//   HALVERNIC_SIM_TRACE     a file that receives a trace line after every step of the
//                           running daemon (appended: the daemons of a device write one
//                           trace)
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
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/thread.hpp"
#include "extension/contract/overheat.hpp"
#include "hvplatform/dispatch_testing.h"
#include "sim/cli/arguments.hpp"
#include "sim/sim.hpp"

namespace sim = halvernic::sim;

namespace {

// The bounds of the options' numbers.
constexpr long long kMaxSteps = 10'000'000;     // simulated seconds of a trace
constexpr long long kMaxCPUDemand = 1'000'000;  // the daemon's power unit (mW)
constexpr long long kMaxTickMs = 60'000;

std::string env(const char* name, const char* fallback = "") {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find(separator, start);
    const std::string part =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
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
    for (const sim::Call& call : sim::calls())
      out << "call " << call.class_name << ' ' << call.text() << '\n';
    for (const std::string& method : sim::replaced_methods()) out << "replaced " << method << '\n';
  }
  std::rename(temporary.c_str(), path.c_str());
}

// The extension's overheat protection on this device, as its state file says: engaged while
// the file is there (the jailbreak root is the device root's var/jb).
bool protection_engaged() {
  const std::string root = env("HALVERNIC_DEVICE_ROOT");
  if (root.empty()) return false;
  return halvernic::contract::readOverheatState(root + "/var/jb" +
                                                halvernic::contract::kOverheatStatePath)
             .status != halvernic::contract::OverheatStateReading::Status::released;
}

// One step as the trace has it: "step temperature cpuPowerCeiling cpuLevel brightnessLimit
// pressure cpuTargetPower batteryTemperature protection", the step being the model's time
// in seconds and protection 1 while the overheat protection is engaged.
std::string trace_line(const sim::Daemon& daemon) {
  const sim::ProductState product = sim::product_state(daemon.product());
  const sim::ControllerState mc = sim::controller_state(daemon.controller());
  char row[256];
  std::snprintf(row, sizeof row, "%lld %.3f %d %d %d %lld %lld %.3f %d\n",
                static_cast<long long>(daemon.seconds()), daemon.temperature(),
                mc.cpu_power_ceiling, mc.cpu_level, product.brightness_limit,
                static_cast<long long>(product.reported_pressure_level),
                static_cast<long long>(mc.cpu_target_power), daemon.battery_temperature(),
                protection_engaged() ? 1 : 0);
  return row;
}

// What a person or a test watching the device wants to know, one "name value" per line.
std::string state_lines(const sim::Daemon& daemon) {
  static long reports = 0;  // only the signal loop writes reports
  const sim::ProductState product = sim::product_state(daemon.product());
  const sim::ControllerState mc = sim::controller_state(daemon.controller());
  char temperature[32];
  std::snprintf(temperature, sizeof temperature, "%.2f", daemon.temperature());
  std::string out;
  auto line = [&out](const char* name, const std::string& value) {
    out += name;
    out += ' ';
    out += value;
    out += '\n';
  };
  line("pid", std::to_string(::getpid()));
  line("report", std::to_string(++reports));
  line("temperature", temperature);
  char battery[32];
  std::snprintf(battery, sizeof battery, "%.2f", daemon.battery_temperature());
  line("batteryTemperature", battery);
  line("overheatProtection", protection_engaged() ? "engaged" : "released");
  line("deviceSeconds", std::to_string(daemon.seconds()));
  line("thermalPressure", std::to_string(product.reported_pressure_level));
  line("thermalState", std::to_string(product.thermal_state));
  line("thermalSimulation", product.thermal_simulation_mode);
  line("brightnessLimit", std::to_string(product.brightness_limit));
  line("cpuLevel", std::to_string(mc.cpu_level));
  line("powerSave", mc.power_save_active ? "1" : "0");
  line("cpmsMitigations", mc.cpms_mitigations_enabled ? "1" : "0");
  line("cpuPowerCeiling", std::to_string(mc.cpu_power_ceiling));
  line("cpuPowerFloor", std::to_string(mc.cpu_power_floor));
  line("cpuTargetPower", std::to_string(mc.cpu_target_power));
  line("packagePowerCeiling", std::to_string(mc.package_power_ceiling));
  line("packagePowerFloor", std::to_string(mc.package_power_floor));
  line("maxPackagePower", std::to_string(mc.max_package_power));
  line("gpuPowerCeiling", std::to_string(mc.gpu_power_ceiling));
  line("gpuPowerFloor", std::to_string(mc.gpu_power_floor));
  line("gpuTargetPower", std::to_string(mc.gpu_target_power));
  line("callRecord",
       std::to_string(sim::calls().size()) + "/" + std::to_string(sim::call_record_capacity()));
  return out;
}

void write_atomically(const std::string& path, const std::string& text) {
  if (path.empty()) return;
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << text;
  }
  std::rename(temporary.c_str(), path.c_str());
}

// Whether this process has been sent SIGTERM (blocked in every thread, so it waits).
bool termination_pending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGTERM) == 1;
}

// Ends the process by SIGTERM, as launchd sees a daemon ended by it.
[[noreturn]] void end_by_sigterm() {
  std::fflush(nullptr);
  ::signal(SIGTERM, SIG_DFL);
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
  ::raise(SIGTERM);
  ::_exit(128 + SIGTERM);  // not reached
}

// The steps until the model's time reaches `until` seconds. On a device's time the delayed
// work due by each step runs after it; a SIGTERM by then (a restart) ends the run there.
int run_steps(sim::Daemon& daemon, long long until, const std::string& trace_path,
              bool device_time) {
  std::ofstream trace(trace_path, daemon.seconds() > 0 ? std::ios::app : std::ios::trunc);
  if (!trace) {
    std::fprintf(stderr, "thermalmonitord: cannot write %s\n", trace_path.c_str());
    return 2;
  }
  if (device_time) HVDispatchRunDue();
  while (daemon.seconds() < until) {
    daemon.tick();
    trace << trace_line(daemon);
    if (!device_time) continue;
    HVDispatchRunDue();
    if (termination_pending()) {
      trace.close();
      end_by_sigterm();
    }
  }
  return trace.good() ? 0 : 2;
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

  objc::attachCurrentThread();
  objc::AutoreleasePool pool;

  std::vector<std::string> inject;
  std::string omit = env("HALVERNIC_SIM_OMIT");
  std::string retype = env("HALVERNIC_SIM_RETYPE");
  std::string tick_ms = env("HALVERNIC_SIM_TICK_MS", "1000");
  std::string config = env("HALVERNIC_SIM_CONFIG_DIR", sim::default_configuration_folder().c_str());
  std::string tweak_folder = env("HALVERNIC_SIM_TWEAK_FOLDER");
  std::string trace;
  long long steps = 0;
  long long cpu_demand = -1;
  if (argc % 2 == 0) {
    std::fprintf(stderr, "thermalmonitord: option %s needs a value\n", argv[argc - 1]);
    return 2;
  }
  // A number option read whole and bounded, or the program refuses to start.
  namespace cli = halvernic::sim::cli;
  auto number = [](const char* option, const char* text, long long low, long long high,
                   long long* value) {
    if (const std::optional<long long> read = cli::parse_integer(text, low, high)) {
      *value = *read;
      return true;
    }
    std::fprintf(
        stderr, "thermalmonitord: %s takes %s\n", option,
        cli::expected("a whole number", text, static_cast<double>(low), static_cast<double>(high))
            .c_str());
    return false;
  };
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--inject")) {
      inject.push_back(argv[i + 1]);
    } else if (!std::strcmp(argv[i], "--tweak-folder")) {
      tweak_folder = argv[i + 1];
    } else if (!std::strcmp(argv[i], "--steps")) {
      if (!number("--steps", argv[i + 1], 1, kMaxSteps, &steps)) return 2;
    } else if (!std::strcmp(argv[i], "--trace")) {
      trace = argv[i + 1];
    } else if (!std::strcmp(argv[i], "--cpu-demand")) {
      if (!number("--cpu-demand", argv[i + 1], 0, kMaxCPUDemand, &cpu_demand)) return 2;
    } else if (!std::strcmp(argv[i], "--omit")) {
      omit += std::string(",") + argv[i + 1];
    } else if (!std::strcmp(argv[i], "--retype")) {
      if (!std::strchr(argv[i + 1], '=')) {
        std::fprintf(stderr, "thermalmonitord: --retype takes Class/selector=types, not %s\n",
                     argv[i + 1]);
        return 2;
      }
      retype += std::string(",") + argv[i + 1];
    } else if (!std::strcmp(argv[i], "--tick-ms")) {
      tick_ms = argv[i + 1];
    } else if (!std::strcmp(argv[i], "--config")) {
      config = argv[i + 1];
    } else {
      std::fprintf(stderr, "thermalmonitord: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  long long period = 0;
  if (!number("the tick period (--tick-ms, HALVERNIC_SIM_TICK_MS)", tick_ms.c_str(), 0, kMaxTickMs,
              &period)) {
    return 2;
  }
  for (const std::string& library : split(env("HALVERNIC_SIM_INJECT"), ':'))
    inject.push_back(library);
  if ((steps > 0) != !trace.empty()) {
    std::fprintf(stderr, "thermalmonitord: --steps and --trace go together\n");
    return 2;
  }

  // Both lists go through one parser: an entry with "=" retypes, any other leaves out.
  sim::register_classes(sim::Options::parse(omit + "," + retype));
  sim::Daemon daemon;
  // On a device the model is its hardware, and its time the device's, before any library
  // can look at a clock; a run of steps has its delayed work fall due on that time.
  const std::string device_root = env("HALVERNIC_DEVICE_ROOT");
  if (!device_root.empty()) {
    daemon.use_device_hardware(device_root);
    if (steps > 0) HVDispatchFollowDeviceTime();
  }
  const std::string process = executable_name(argv[0]);
  if (!tweak_folder.empty()) {
    for (const std::string& library : sim::tweak_folder_libraries(tweak_folder, process))
      inject.push_back(library);
  }
  sim::load_injected_libraries(inject, process);

  if (cpu_demand >= 0) daemon.set_cpu_demand(static_cast<std::uint32_t>(cpu_demand));
  daemon.start(config);
  const std::string state_file = env("HALVERNIC_SIM_STATE_FILE");
  if (steps > 0) {
    const int status = run_steps(daemon, steps, trace, !device_root.empty());
    std::fflush(nullptr);
    // The extension's delayed work may still be queued: leave without running the
    // destructors of objects its threads use.
    ::_exit(status);
  }
  {
    // The first report says the daemon is up and takes SIGUSR1 from now on.
    objc::AutoreleasePool state_pool;
    write_atomically(state_file, state_lines(daemon));
  }
  std::printf("thermalmonitord: ready\n");
  std::fflush(stdout);

  if (period > 0) {
    const std::string trace_file = env("HALVERNIC_SIM_TRACE");
    std::thread([&daemon, period, trace_file] {
      objc::attachCurrentThread();
      std::ofstream trace;
      if (!trace_file.empty()) trace.open(trace_file, std::ios::app);
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(period));
        daemon.tick();
        if (trace.is_open()) {
          objc::AutoreleasePool pool;
          trace << trace_line(daemon) << std::flush;
        }
      }
    }).detach();
  }

  const std::string call_log = env("HALVERNIC_SIM_CALL_LOG");
  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) continue;
    write_call_log(call_log);
    if (signal == SIGUSR1) {
      objc::AutoreleasePool state_pool;
      write_atomically(state_file, state_lines(daemon));
    }
    if (signal == SIGTERM) end_by_sigterm();
  }
}
