// The device's own daemons, found by what they are rather than by pid files: hv-launchd and
// the programs of the device's jobs, each running with the device's root in its
// environment (hv-device starts hv-launchd with it, and hv-launchd passes it to every job).
// A pid file can be stale or gone (hv-launchd killed, a crash in the middle of a boot);
// the processes cannot hide this way.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace halvernic::sim::device {

struct DeviceProcess {
  pid_t pid = 0;
  pid_t parent = 0;
  std::string name;  // the executable's name as the system keeps it (15 characters at most)
};

// Whether pid is a running process (not a zombie) whose environment sets
// HALVERNIC_DEVICE_ROOT to root exactly.
bool runs_on_device(pid_t pid, const std::string& root);

// Every running process other than this one whose executable is named one of names (file
// names; compared as the system keeps them) and which runs on the device at root.
std::vector<DeviceProcess> find_device_processes(const std::string& root,
                                                 const std::vector<std::string>& names);

// Ends processes: SIGTERM to each, SIGKILL to those still running after grace, then waits
// up to two seconds more. Answers those still running at the end (none, normally).
std::vector<DeviceProcess> end_processes(const std::vector<DeviceProcess>& processes,
                                         std::chrono::milliseconds grace);

}  // namespace halvernic::sim::device
