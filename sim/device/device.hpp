// A simulated device below a root folder, laid out as a rootless jailbreak lays out an
// iPhone: the jailbreak root var/jb with the installed packages and its own
// var/jb/var/mobile, apart from the system's var/mobile; the SystemConfiguration store;
// the daemon's configuration; the LaunchDaemons that hv-launchd keeps running (the notify
// daemon and thermalmonitord, which loads the tweak folder through its filter lists).
//
// Every wait is bounded; an operation that fails leaves nothing of its own running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace halvernic::sim::device {

// What a person is told when an operation cannot be done.
struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The programs and libraries of a build that make a device.
struct Programs {
  std::string launchd, notifyd, thermalmonitord, libroot, systemconfiguration, platform_lib_dir;
  std::string halvernic, configuration_folder, source_dir, build_dir;
  std::string settings, controlcenter;  // the hosts; empty when not built
  std::string ctl;                      // this build's halvernicctl; empty when not built
  // This build's programs (the hosts found where their folders build them, or named by
  // HALVERNIC_SETTINGS_APP and HALVERNIC_CONTROL_CENTER).
  static Programs of_this_build();
};

inline constexpr char kDaemonLabel[] = "com.apple.thermalmonitord";
inline constexpr char kNotifydLabel[] = "com.apple.notifyd";
inline constexpr char kPreferencesName[] = "com.nu-falk.halvernic-prefs.plist";

struct BootOptions {
  double throttle_interval = 10.0;  // launchd's ThrottleInterval for the device's jobs
  int tick_ms = 1000;               // the thermal model's step period
  // A file that receives one line per step of every daemon of this boot (thermalmonitord's
  // HALVERNIC_SIM_TRACE); none when empty.
  std::string trace_file;
  // The workload's CPU power (thermalmonitord --cpu-demand); 0: the daemon's own default.
  int cpu_demand = 0;
  // Methods the daemon registers with other types than Apple's ("Class/selector=types",
  // comma-separated; thermalmonitord --retype): a future system's daemon.
  std::string retype;
};

enum class Host { kSettings, kControlCenter };

struct HostResult {
  int status = 0;  // exit status; 128 + signal when killed
  std::string out, err;
};

class Device {
public:
  Device(std::string root, Programs programs);

  const std::string& root() const { return root_; }
  const Programs& programs() const { return programs_; }
  std::string jailbreak_root() const { return root_ + "/var/jb"; }
  // The tweak preferences file, below the jailbreak's own var/mobile.
  std::string preferences_file() const;
  // The same name below the system's var/mobile, which no writer of the device uses.
  std::string system_preferences_file() const;
  std::string tweak_folder() const;
  std::string notify_socket() const;
  std::string log_file(const std::string& name) const { return root_ + "/var/log/" + name; }
  // What a log holds: its rotated older part ("<name>.1") and then the file itself.
  std::string log(const std::string& name) const;
  std::string thermal_status_store() const;

  // 0 when no such process runs (a stale pid file, or one naming a process of another
  // device, counts as none).
  pid_t launchd_pid() const;
  pid_t job_pid(const std::string& label) const;
  bool booted() const { return launchd_pid() > 0; }
  // Whether a boot has laid the device out below root (it may be shut down now).
  bool exists() const;

  // Lays the device out (a root that exists keeps what it holds), ends the device's
  // orphaned processes (orphans_ended()), starts hv-launchd and waits for the notify daemon
  // and a ready thermalmonitord. Throws Error when already booted or when something does
  // not come up (after stopping what started).
  void boot(const BootOptions& options);

  // Installs the package's Linux layout into var/jb and relaunches thermalmonitord so the
  // tweak loader sees it (a device that is not booted just gets the files). Answers the
  // installed files, relative to var/jb.
  std::vector<std::string> install();

  // Stops hv-launchd and its jobs, then ends any process of the device that outlived its
  // launchd (orphans_ended()); throws Error when there was nothing to stop, or when a
  // process outlives the bounded wait (it is then killed).
  void shutdown();

  // The device's processes that run without the device's live hv-launchd (left by a
  // hv-launchd that was killed, or a launchd whose pid file is gone, with its jobs): ended
  // with SIGTERM, then SIGKILL. Answers them ("thermalmonitord (pid 123)"); throws Error
  // when one outlives SIGKILL. boot() and shutdown() call it.
  std::vector<std::string> end_orphans();
  // What the last boot() or shutdown() ended of that kind.
  const std::vector<std::string>& orphans_ended() const { return orphans_ended_; }
  // The file names of the programs the device runs as daemons (hv-launchd and its jobs').
  std::vector<std::string> daemon_names() const;

  // The running daemon's state ("name value" lines of thermalmonitord); throws Error when
  // no daemon answers within timeout.
  std::map<std::string, std::string> daemon_state(std::chrono::milliseconds timeout) const;

  // Waits until a thermalmonitord other than not_this runs and answers; its pid.
  pid_t wait_for_daemon(pid_t not_this, std::chrono::milliseconds timeout) const;

  // Runs a host (hv-settings, hv-controlcenter) on this device with arguments, bounded by
  // timeout; throws Error when the host is not built.
  HostResult run_host(Host host, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeout) const;

  // One change as the front-ends make it: the preferences file written with the contract's
  // write steps (key set, the mode-reset keys dropped, written atomically), the
  // runtime-state word published, "com.nu-falk.halvernic-executePuppetEvent" posted, and
  // for thermalPowerMode "com.nu-falk.halvernic-restartThermalMonitor". value is a mode
  // ("off", "lowPower", "fullPower") for thermalPowerMode, "true" or "false" otherwise.
  // The notify daemon is the device's (this process's HALVERNIC_NOTIFY_SOCKET is set to it).
  void change_as_front_end(const std::string& key, const std::string& value) const;

  // Runs halvernicctl on this device with arguments, bounded by timeout: the tool the
  // package installed (var/jb/usr/bin), else this build's; throws Error when neither is
  // there. which, when given, receives the program's path.
  HostResult run_ctl(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout,
                     std::string* which = nullptr) const;

  // The environment every process of the device gets (root, notify socket, libraries).
  std::vector<std::string> environment() const;

  // "light" or "dark", as last set on this device (light by default).
  std::string appearance() const;
  void set_appearance(const std::string& appearance);

private:
  void lay_out(const BootOptions& options);
  std::string stage_package() const;

  std::string root_;
  Programs programs_;
  std::vector<std::string> orphans_ended_;
};

// The device a command without --root means: $HALVERNIC_DEVICE_ROOT, else the last one
// booted by this user; empty when none.
std::string default_root();
void remember_root(const std::string& root);

// Runs argv with env, standard output and error captured, killed after timeout.
HostResult run_bounded(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       std::chrono::milliseconds timeout);

// Sends sig to pid when pid is a process (> 0); never to a process group.
bool signal_process(pid_t pid, int sig);

}  // namespace halvernic::sim::device
