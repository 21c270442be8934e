// halvernicctl on the simulated device (Linux): the tool's own command line (ctl.hpp), after
// the device is chosen as hv-device chooses it: `--root DIR` in front (taken off before the
// tool sees its arguments), else $HALVERNIC_DEVICE_ROOT, else the device booted last. The
// stand-ins find the device through the environment set here: HALVERNIC_DEVICE_ROOT (the
// SystemConfiguration store, libroot's mapping) and, unless it is set already,
// HALVERNIC_NOTIFY_SOCKET (the device's notify daemon).
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/objc/ref.hpp"
#include "common/objc/thread.hpp"
#include "ctl/ctl.hpp"
#include "hvplatform/environment.h"
#include "sim/device/device.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argc > 1 ? argv + 1 : argv, argc > 1 ? argv + argc : argv);
  std::string root;
  if (!arguments.empty() && arguments[0] == "--root") {
    if (arguments.size() < 2) {
      std::fprintf(stderr, "halvernicctl: --root needs a folder\n");
      return 2;
    }
    root = arguments[1];
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (root.empty()) root = halvernic::sim::device::default_root();
  const bool help = arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h" ||
                    arguments[0] == "help";
  struct stat info{};
  if (!help) {
    if (root.empty()) {
      std::fprintf(stderr,
                   "halvernicctl: no simulated device: boot one (hv-device boot) or name it with "
                   "--root DIR\n");
      return 1;
    }
    if (::stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      std::fprintf(stderr, "halvernicctl: no device at %s\n", root.c_str());
      return 1;
    }
  }
  if (!root.empty()) {
    ::setenv(HV_ENV_DEVICE_ROOT, root.c_str(), 1);
    const char* socket = std::getenv(HV_ENV_NOTIFY_SOCKET);
    if (!socket || !*socket) {
      ::setenv(HV_ENV_NOTIFY_SOCKET, (root + "/" HV_NOTIFYD_DEFAULT_SOCKET).c_str(), 1);
    }
  }
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;
  halvernic::ctl::Context context{geteuid() == 0, std::cout, std::cerr};
  return static_cast<int>(halvernic::ctl::run(arguments, context));
}
