// The package on the simulated device as dpkg keeps it: in the jailbreak's dpkg database
// (var/jb/var/lib/dpkg/info) the list of the files it installed, the folders it made, and
// its maintainer scripts; and its removal and purge as dpkg does them: the prerm, the files
// removed, the postrm, each script run with DPKG_ROOT set to the device root and the
// device's environment (its notify daemon, its stand-ins), so that the scripts' tools act on
// this device alone. The device's jailbreak has its own launchctl and killall (written into
// var/jb/usr/bin), which act on the device's jobs only.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "sim/device/device.hpp"

namespace halvernic::sim::device {

inline constexpr char kPackageName[] = "com.nu-falk.halvernic";

// The device's jailbreak tools the maintainer scripts call, in var/jb/usr/bin: launchctl
// (kickstart -k system/LABEL ends the device's job; hv-launchd launches it again) and killall
// (signals the device's processes of a name: those whose command line names the device
// root). Neither ever reaches a process of another device or of the machine.
void write_jailbreak_tools(const Device& device);

// The folders below staged (relative to it) that do not exist below jailbreak_root: the ones
// an install of staged makes. Ask before copying.
std::vector<std::string> folders_new_to(const std::string& staged,
                                        const std::string& jailbreak_root);

// Records an installation in the dpkg database: files and folders relative to var/jb, and
// the maintainer scripts the build's package manifest names (script lines of layout.tsv).
void record_installation(const Device& device, const std::vector<std::string>& files,
                         const std::vector<std::string>& folders);

enum class PackageState {
  notInstalled,
  installed,
  configFiles,  // removed, not purged: its postrm is kept for the purge
};
PackageState package_state(const Device& device);

struct ScriptRun {
  std::string script, action;
  int status = 0;
  std::string output;  // standard output and error
};

struct RemovalReport {
  bool purge = false;
  bool removed = false;  // false when the prerm failed and dpkg would have stopped
  std::vector<ScriptRun> scripts;
  std::vector<std::string> removedFiles;  // relative to var/jb
  pid_t daemon = 0;                       // the thermalmonitord running afterwards
  bool daemonHasExtension = false;
  std::vector<std::string> leftBehind;  // what remains, for people
};

// dpkg --remove (purge false) or --purge: the maintainer scripts and the files as dpkg
// handles them. Throws Error when the package is not installed (remove) or not known
// (purge). Waits for the relaunched daemon when the device is booted.
RemovalReport remove_package(const Device& device, bool purge);

std::string format_report(const RemovalReport& report);

}  // namespace halvernic::sim::device
