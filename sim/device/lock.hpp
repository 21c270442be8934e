// One device, one owner: every verb of hv-device that touches a device holds a lock on the
// device's root folder for its whole run. A verb that changes the device (boots it, shuts
// it down, installs or removes files, sets the device's own settings) holds it exclusively;
// a verb that only uses the device (acts as a person through the hosts, reads the state)
// shares it with others of its kind. So two boots of one root never both start a launchd,
// and a shutdown never pulls the device from under a host that is still running.
//
// The lock is flock(2) on the root folder itself (nothing is written into the root for
// it), released when the holder ends, however it ends; no child process inherits it.
#pragma once

#include <chrono>
#include <string>

namespace halvernic::sim::device {

enum class Access {
  kChanges,  // exclusive
  kUses,     // shared
};

class DeviceLock {
public:
  // How long a verb waits for the holders before it gives up.
  static constexpr std::chrono::seconds kDefaultWait{180};

  // Takes the lock on root (a folder that exists), waiting at most wait; throws Error when
  // root is not a folder or the wait runs out. Says once on standard error that it waits.
  DeviceLock(const std::string& root, Access access, std::chrono::milliseconds wait = kDefaultWait);
  ~DeviceLock();
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;

  // The process that holds a lock on folder, when the system tells (0 otherwise).
  static pid_t holder(const std::string& folder);

private:
  int fd_ = -1;
};

}  // namespace halvernic::sim::device
