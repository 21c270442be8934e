// hv-device: the simulated device as one command, in the manner of Apple's simulator
// tool. Every verb bounds its waits; an error is a message on standard error and a
// non-zero status (2 for bad usage, checked before the verb touches anything), with
// nothing of the verb's own left running.
//
// Each verb is one row of kVerbs: its arguments' check, what it needs of the device, and
// whether it changes the device, which decides the lock it holds (sim/device/lock.hpp).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/thread.hpp"
#include "extension/contract/contract.hpp"
#include "sim/cli/arguments.hpp"
#include "sim/device/device.hpp"
#include "sim/device/lock.hpp"
#include "sim/device/package.hpp"
#include "sim/device/scenario.hpp"
#include "sim/device/state.hpp"

namespace device = halvernic::sim::device;
namespace cli = halvernic::sim::cli;
using namespace std::chrono_literals;

namespace {

constexpr char kUsage[] =
    "usage: hv-device [--root DIR] VERB [ARGUMENTS]\n"
    "  boot [--throttle SECONDS] [--tick-ms N] [--retype Class/selector=TYPES,...]\n"
    "                                 boot a device below DIR (a fresh folder without --root);\n"
    "                                 --retype: a daemon whose methods have other types\n"
    "  install                        install the package's Linux build into the device's /var/jb\n"
    "  remove | purge                 remove the package as dpkg does (prerm, files, postrm; "
    "purge:\n"
    "                                 postrm purge too) and say what was left behind\n"
    "  state                          the state table and halvernicctl status\n"
    "  change KEY VALUE               write a setting and post as the front-ends do (a mode\n"
    "                                 change waits for the relaunched daemon)\n"
    "  settings COMMAND...            run commands in the simulated Settings app (hv-settings)\n"
    "  controlcenter COMMAND...       run commands in the simulated Control Center\n"
    "                                 (hv-controlcenter)\n"
    "  screenshot settings|controlcenter FILE.png\n"
    "  appearance [light|dark]        show or set the device's appearance\n"
    "  scenario OUTDIR [--seconds N]  the heat scenario: table and plot in OUTDIR\n"
    "  shutdown                       stop the device's processes (and any left without a\n"
    "                                 launchd)\n"
    "DIR defaults to $HALVERNIC_DEVICE_ROOT, else the device booted last.\n";

// The bounds of the verbs' numbers.
constexpr double kMaxThrottleSeconds = 3600;  // launchd's ThrottleInterval (10 s on a device)
constexpr long long kMaxTickMs = 60000;       // the thermal model's step; 0 never steps
constexpr long long kMaxScenarioSeconds = 36000;

int fail(const std::string& message) {
  std::fprintf(stderr, "hv-device: %s\n", message.c_str());
  return 1;
}

// Bad usage: what is wrong, on standard error, and status 2.
struct Usage {
  std::string message;
};

int refuse(const Usage& usage) {
  std::fprintf(stderr, "hv-device: %s\n", usage.message.c_str());
  return cli::kUsageStatus;
}

// What a verb needs of the device before it runs.
enum class Needs {
  kNothing,  // boot makes the device
  kDevice,   // a device laid out by a boot, running or not
  kBooted,   // a running device
};

using Args = std::vector<std::string>;

struct Verb {
  const char* name;
  device::Access access;  // kChanges: the device is held exclusively while the verb runs
  Needs needs;
  // Checks the arguments before anything is touched; nullopt when they are well formed.
  std::optional<Usage> (*check)(const Args& args);
  int (*run)(device::Device& d, const Args& args);
};

std::optional<Usage> exactly(const char* verb, const Args& args, std::size_t count,
                             const char* usage) {
  if (args.size() == count) return std::nullopt;
  return Usage{std::string(verb) + " takes " + (count == 0 ? "no arguments" : usage) + ", not " +
               std::to_string(args.size()) + " argument(s)"};
}

// boot's options, read whole and bounded.
std::optional<Usage> parse_boot(const Args& args, device::BootOptions* options) {
  for (std::size_t i = 0; i < args.size(); i += 2) {
    const std::string& option = args[i];
    if (option != "--throttle" && option != "--tick-ms" && option != "--retype") {
      return Usage{"boot: unknown option " + option};
    }
    if (i + 1 >= args.size()) return Usage{"boot: " + option + " needs a value"};
    const std::string& value = args[i + 1];
    if (option == "--retype") {
      if (value.empty() || value.find('=') == std::string::npos) {
        return Usage{"boot: --retype takes Class/selector=types[,...], not \"" + value + "\""};
      }
      options->retype = value;
    } else if (option == "--throttle") {
      const std::optional<double> seconds = cli::parse_real(value, 0, kMaxThrottleSeconds);
      if (!seconds) {
        return Usage{"boot: --throttle takes " +
                     cli::expected("seconds", value, 0, kMaxThrottleSeconds)};
      }
      options->throttle_interval = *seconds;
    } else {
      const std::optional<long long> ms = cli::parse_integer(value, 0, kMaxTickMs);
      if (!ms) {
        const auto most = static_cast<double>(kMaxTickMs);
        return Usage{"boot: --tick-ms takes " +
                     cli::expected("a whole number of milliseconds", value, 0, most)};
      }
      options->tick_ms = static_cast<int>(*ms);
    }
  }
  return std::nullopt;
}

std::optional<Usage> parse_scenario(const Args& args, device::ScenarioOptions* options) {
  if (args.empty()) return Usage{"usage: scenario OUTDIR [--seconds N]"};
  options->out_dir = args[0];
  for (std::size_t i = 1; i < args.size(); i += 2) {
    if (args[i] != "--seconds") return Usage{"scenario: unknown option " + args[i]};
    if (i + 1 >= args.size()) return Usage{"scenario: --seconds needs a value"};
    const std::optional<long long> seconds =
        cli::parse_integer(args[i + 1], 1, kMaxScenarioSeconds);
    if (!seconds) {
      return Usage{"scenario: --seconds takes " +
                   cli::expected("a whole number of seconds", args[i + 1], 1,
                                 static_cast<double>(kMaxScenarioSeconds))};
    }
    options->seconds = static_cast<int>(*seconds);
  }
  return std::nullopt;
}

int run_host(const device::Device& d, device::Host host, const Args& args) {
  const device::HostResult result = d.run_host(host, args, 120s);
  std::fputs(result.out.c_str(), stdout);
  std::fputs(result.err.c_str(), stderr);
  return result.status;
}

void print_orphans(const device::Device& d) {
  for (const std::string& orphan : d.orphans_ended()) {
    std::printf("ended orphaned %s\n", orphan.c_str());
  }
}

int boot(device::Device& d, const Args& args) {
  device::BootOptions options;
  parse_boot(args, &options);  // checked
  d.boot(options);
  print_orphans(d);
  std::printf("booted %s\n", d.root().c_str());
  return 0;
}

int install(device::Device& d, const Args&) {
  const auto files = d.install();
  for (const std::string& file : files) std::printf("installed /var/jb/%s\n", file.c_str());
  if (d.booted()) {
    std::printf("thermalmonitord relaunched (pid %d)\n",
                static_cast<int>(d.job_pid(device::kDaemonLabel)));
  }
  return 0;
}

int state(device::Device& d, const Args&) {
  std::fputs(device::format_table(device::state_table(d)).c_str(), stdout);
  std::printf("\n%s", device::ctl_status(d).c_str());
  return 0;
}

int change(device::Device& d, const Args& args) {
  const pid_t old = d.job_pid(device::kDaemonLabel);
  const auto start = std::chrono::steady_clock::now();
  // The mode chosen again: the extension restarts nothing (nothing would change).
  const std::string before = device::file_mode(d.preferences_file());
  const bool same_mode = args[0] == halvernic::contract::kPowerModeKey &&
                         before.substr(0, before.find(' ')) == args[1];
  d.change_as_front_end(args[0], args[1]);
  std::printf("%s = %s\n", args[0].c_str(), args[1].c_str());
  if (same_mode) {
    std::this_thread::sleep_for(1s);
    if (d.job_pid(device::kDaemonLabel) == old) {
      std::printf("thermalmonitord keeps running (pid %d): the mode did not change\n",
                  static_cast<int>(old));
      return 0;
    }
  }
  if (args[0] == halvernic::contract::kPowerModeKey) {
    const pid_t now = d.wait_for_daemon(old, 30s);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("thermalmonitord relaunched (pid %d) after %.2f s\n", static_cast<int>(now),
                seconds);
  }
  return 0;
}

// remove, purge: the package's maintainer scripts and files as dpkg handles them.
int removal(device::Device& d, bool purge) {
  const device::RemovalReport report = device::remove_package(d, purge);
  std::fputs(device::format_report(report).c_str(), stdout);
  return report.removed ? 0 : 1;
}

std::optional<Usage> check_commands(const char* verb, const char* program, const Args& args) {
  if (!args.empty()) return std::nullopt;
  return Usage{std::string(verb) + " needs one or more commands of " + program + " (hv-device " +
               verb + " help lists them)"};
}

int screenshot(device::Device& d, const Args& args) {
  return run_host(d, args[0] == "settings" ? device::Host::kSettings : device::Host::kControlCenter,
                  {"screenshot", args[1]});
}

int appearance(device::Device& d, const Args& args) {
  if (!args.empty()) d.set_appearance(args[0]);
  std::printf(args.empty() ? "%s\n" : "appearance %s\n", d.appearance().c_str());
  return 0;
}

int scenario(device::Device& d, const Args& args) {
  device::ScenarioOptions options;
  parse_scenario(args, &options);  // checked
  const device::ScenarioResult result = device::run_scenario(d, options);
  std::fputs(result.table.c_str(), stdout);
  std::printf("plot: %s\ntable: %s\n", result.plot.c_str(), result.table_file.c_str());
  return 0;
}

int shutdown(device::Device& d, const Args&) {
  d.shutdown();
  print_orphans(d);
  std::printf("shut down %s\n", d.root().c_str());
  return 0;
}

using device::Access;

const Verb kVerbs[] = {
    {"boot", Access::kChanges, Needs::kNothing,
     [](const Args& args) {
       device::BootOptions options;
       return parse_boot(args, &options);
     },
     boot},
    {"install", Access::kChanges, Needs::kDevice,
     [](const Args& args) { return exactly("install", args, 0, ""); }, install},
    {"remove", Access::kChanges, Needs::kDevice,
     [](const Args& args) { return exactly("remove", args, 0, ""); },
     [](device::Device& d, const Args&) { return removal(d, false); }},
    {"purge", Access::kChanges, Needs::kDevice,
     [](const Args& args) { return exactly("purge", args, 0, ""); },
     [](device::Device& d, const Args&) { return removal(d, true); }},
    {"state", Access::kUses, Needs::kBooted,
     [](const Args& args) { return exactly("state", args, 0, ""); }, state},
    {"change", Access::kUses, Needs::kBooted,
     [](const Args& args) { return exactly("change", args, 2, "KEY VALUE"); }, change},
    {"settings", Access::kUses, Needs::kBooted,
     [](const Args& args) {
       return check_commands("settings", "the simulated Settings app", args);
     },
     [](device::Device& d, const Args& args) {
       return run_host(d, device::Host::kSettings, args);
     }},
    {"controlcenter", Access::kUses, Needs::kBooted,
     [](const Args& args) {
       return check_commands("controlcenter", "the simulated Control Center", args);
     },
     [](device::Device& d, const Args& args) {
       return run_host(d, device::Host::kControlCenter, args);
     }},
    {"screenshot", Access::kUses, Needs::kBooted,
     [](const Args& args) -> std::optional<Usage> {
       const bool host = args.size() == 2 && (args[0] == "settings" || args[0] == "controlcenter");
       if (host) return std::nullopt;
       return Usage{"usage: screenshot settings|controlcenter FILE.png"};
     },
     screenshot},
    {"appearance", Access::kChanges, Needs::kDevice,
     [](const Args& args) -> std::optional<Usage> {
       const bool style = args.size() == 1 && (args[0] == "light" || args[0] == "dark");
       if (args.empty() || style) return std::nullopt;
       return Usage{"usage: appearance [light|dark]"};
     },
     appearance},
    {"scenario", Access::kChanges, Needs::kDevice,
     [](const Args& args) {
       device::ScenarioOptions options;
       return parse_scenario(args, &options);
     },
     scenario},
    {"shutdown", Access::kChanges, Needs::kDevice,
     [](const Args& args) { return exactly("shutdown", args, 0, ""); }, shutdown},
};

std::string fresh_root() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/halvernic-device.XXXXXX";
  if (!::mkdtemp(pattern.data())) throw device::Error("cannot make a folder for the device");
  return pattern;
}

int run(Args args) {
  std::string root;
  if (!args.empty() && args[0] == "--root") {
    if (args.size() < 2) return refuse({"--root needs a folder"});
    root = args[1];
    if (root.empty()) return refuse({"--root needs a folder"});
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == "help" || args[0] == "--help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? cli::kUsageStatus : 0;
  }
  const std::string name = args[0];
  args.erase(args.begin());
  const Verb* verb = nullptr;
  for (const Verb& candidate : kVerbs) {
    if (name == candidate.name) verb = &candidate;
  }
  if (!verb) return fail("unknown verb '" + name + "' (hv-device help lists them)");
  if (const std::optional<Usage> usage = verb->check(args)) return refuse(*usage);

  if (root.empty()) root = verb->needs == Needs::kNothing ? fresh_root() : device::default_root();
  if (root.empty()) return fail("no device: boot one, or name it with --root DIR");
  device::Device d(root, device::Programs::of_this_build());
  if (verb->needs == Needs::kNothing) std::filesystem::create_directories(d.root());
  std::unique_ptr<device::DeviceLock> lock;
  if (std::filesystem::is_directory(d.root())) {
    lock = std::make_unique<device::DeviceLock>(d.root(), verb->access);
  }
  // What the verb needs, seen under the lock (a boot or shutdown in between has finished).
  if (verb->needs == Needs::kDevice && !d.exists()) {
    return fail("no device at " + d.root() + " (hv-device --root " + d.root() + " boot makes one)");
  }
  if (verb->needs == Needs::kBooted && !d.booted()) {
    return fail("the device at " + d.root() + " is not booted");
  }
  return verb->run(d, args);
}

}  // namespace

int main(int argc, char** argv) {
  // Before Foundation sees any of them: GNUstep reads the arguments as text.
  if (const int bad = cli::first_non_utf8(argc - 1, argv + 1); bad >= 0) {
    return refuse({"argument " + std::to_string(bad + 1) + " is not UTF-8 text: \"" +
                   cli::printable(argv[bad + 1]) + "\""});
  }
  objc::attachCurrentThread();
  try {
    return run(Args(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}
