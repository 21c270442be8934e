// hv-device: the simulated device as one command, in the manner of Apple's simulator
// tool. Every verb bounds its waits; an error is a message on standard error and a
// non-zero status, with nothing of the verb's own left running.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/thread.hpp"
#include "sim/device/device.hpp"
#include "sim/device/package.hpp"
#include "sim/device/scenario.hpp"
#include "sim/device/state.hpp"

namespace device = halvernic::sim::device;
using namespace std::chrono_literals;

namespace {

constexpr char kUsage[] =
    "usage: hv-device [--root DIR] VERB [ARGUMENTS]\n"
    "  boot [--throttle SECONDS] [--tick-ms N]  boot a device below DIR (a fresh folder without "
    "--root)\n"
    "  install                        install the package's Linux build into the device's /var/jb\n"
    "  remove | purge                 remove the package as dpkg does (prerm, files, postrm; "
    "purge:\n"
    "                                 postrm purge too) and say what was left behind\n"
    "  state                          the state table\n"
    "  change KEY VALUE               write a setting and post as the front-ends do (a mode "
    "change\n"
    "                                 waits for the relaunched daemon)\n"
    "  settings COMMAND...            run commands in the simulated Settings app (hv-settings)\n"
    "  controlcenter COMMAND...       run commands in the simulated Control Center "
    "(hv-controlcenter)\n"
    "  screenshot settings|controlcenter FILE.png\n"
    "  appearance [light|dark]        show or set the device's appearance\n"
    "  scenario OUTDIR [--seconds N]  the heat scenario: table and plot in OUTDIR\n"
    "  shutdown                       stop the device's processes\n"
    "DIR defaults to $HALVERNIC_DEVICE_ROOT, else the device booted last.\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "hv-device: %s\n", message.c_str());
  return 1;
}

int run_host(const device::Device& d, device::Host host, const std::vector<std::string>& args) {
  const device::HostResult result = d.run_host(host, args, 120s);
  std::fputs(result.out.c_str(), stdout);
  std::fputs(result.err.c_str(), stderr);
  return result.status;
}

// remove, purge: the package's maintainer scripts and files as dpkg handles them.
int run_removal(const device::Device& d, bool purge) {
  const device::RemovalReport report = device::remove_package(d, purge);
  std::fputs(device::format_report(report).c_str(), stdout);
  return report.removed ? 0 : 1;
}

std::string fresh_root() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/halvernic-device.XXXXXX";
  if (!::mkdtemp(pattern.data())) throw device::Error("cannot make a folder for the device");
  return pattern;
}

int run(std::vector<std::string> args) {
  std::string root;
  if (args.size() >= 2 && args[0] == "--root") {
    root = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == "help" || args[0] == "--help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  const std::string verb = args[0];
  args.erase(args.begin());

  if (verb == "boot") {
    device::BootOptions options;
    for (std::size_t i = 0; i < args.size(); i += 2) {
      if (i + 1 >= args.size()) return fail("boot: " + args[i] + " needs a value");
      if (args[i] == "--throttle") {
        options.throttle_interval = std::strtod(args[i + 1].c_str(), nullptr);
      } else if (args[i] == "--tick-ms") {
        options.tick_ms = std::atoi(args[i + 1].c_str());
      } else {
        return fail("boot: unknown option " + args[i]);
      }
    }
    if (root.empty()) root = fresh_root();
    device::Device d(root, device::Programs::of_this_build());
    d.boot(options);
    std::printf("booted %s\n", d.root().c_str());
    return 0;
  }

  if (root.empty()) root = device::default_root();
  if (root.empty()) return fail("no device: boot one, or name it with --root DIR");
  device::Device d(root, device::Programs::of_this_build());
  const bool known_verb = verb == "install" || verb == "remove" || verb == "purge" ||
                          verb == "state" || verb == "change" || verb == "settings" ||
                          verb == "controlcenter" || verb == "screenshot" || verb == "appearance" ||
                          verb == "scenario" || verb == "shutdown";
  if (!known_verb) return fail("unknown verb '" + verb + "' (hv-device help lists them)");
  if (verb != "scenario" && verb != "appearance" && verb != "install" && verb != "remove" &&
      verb != "purge" && !d.booted()) {
    return fail("the device at " + root + " is not booted");
  }

  if (verb == "install") {
    const auto files = d.install();
    for (const std::string& file : files) std::printf("installed /var/jb/%s\n", file.c_str());
    if (d.booted()) std::printf("thermalmonitord relaunched (pid %d)\n", static_cast<int>(d.job_pid(device::kDaemonLabel)));
    return 0;
  }
  if (verb == "remove" || verb == "purge") {
    if (!args.empty()) return fail("usage: " + verb + " (no arguments)");
    return run_removal(d, verb == "purge");
  }
  if (verb == "state") {
    std::fputs(device::format_table(device::state_table(d)).c_str(), stdout);
    return 0;
  }
  if (verb == "change") {
    if (args.size() != 2) return fail("usage: change KEY VALUE");
    const pid_t old = d.job_pid(device::kDaemonLabel);
    const auto start = std::chrono::steady_clock::now();
    // The mode chosen again: the extension restarts nothing (nothing would change).
    const std::string before = device::file_mode(d.preferences_file());
    const bool same_mode =
        args[0] == "thermalPowerMode" && before.substr(0, before.find(' ')) == args[1];
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
    if (args[0] == "thermalPowerMode") {
      const pid_t now = d.wait_for_daemon(old, 30s);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("thermalmonitord relaunched (pid %d) after %.2f s\n", static_cast<int>(now), seconds);
    }
    return 0;
  }
  if (verb == "settings") return run_host(d, device::Host::kSettings, args);
  if (verb == "controlcenter") return run_host(d, device::Host::kControlCenter, args);
  if (verb == "screenshot") {
    if (args.size() != 2 || (args[0] != "settings" && args[0] != "controlcenter")) {
      return fail("usage: screenshot settings|controlcenter FILE.png");
    }
    return run_host(d, args[0] == "settings" ? device::Host::kSettings : device::Host::kControlCenter,
                    {"screenshot", args[1]});
  }
  if (verb == "appearance") {
    if (args.empty()) {
      std::printf("%s\n", d.appearance().c_str());
      return 0;
    }
    d.set_appearance(args[0]);
    std::printf("appearance %s\n", d.appearance().c_str());
    return 0;
  }
  if (verb == "scenario") {
    if (args.empty()) return fail("usage: scenario OUTDIR [--seconds N]");
    device::ScenarioOptions options;
    options.out_dir = args[0];
    for (std::size_t i = 1; i < args.size(); i += 2) {
      if (args[i] != "--seconds" || i + 1 >= args.size()) return fail("scenario: unknown option " + args[i]);
      options.seconds = std::atoi(args[i + 1].c_str());
    }
    const device::ScenarioResult result = device::run_scenario(d, options);
    std::fputs(result.table.c_str(), stdout);
    std::printf("plot: %s\ntable: %s\n", result.plot.c_str(), result.table_file.c_str());
    return 0;
  }
  d.shutdown();
  std::printf("shut down %s\n", d.root().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  objc::attach_current_thread();
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const device::Error& error) {
    return fail(error.what());
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}
