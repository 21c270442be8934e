// A private view of /var/mobile for the tests of this process and the processes it starts:
// the process enters a mount namespace of its own (a user namespace too when it is not
// root, as `unshare -Urm` does) before any thread exists, and /var/mobile there shows a
// fresh test folder. The folder lies where the Linux libroot resolves /var/mobile below
// the device root, so the literal path and the jbroot-resolved path name one file.
// Nothing outside the process's namespace changes.
#pragma once

#include <string>

namespace hv_test {

struct PrivateView {
  bool ready = false;
  std::string failure;     // why the view could not be made (when not ready)
  std::string deviceRoot;  // HALVERNIC_DEVICE_ROOT for processes that resolve with jbroot
  std::string folder;      // what /var/mobile shows: <deviceRoot>/var/jb/var/mobile
};

// Made once, by a load-time initialiser of the test program.
const PrivateView& privateView();

// The preferences file at its literal path, as the replacement layer reads it.
inline constexpr char kLiteralPreferencesPath[] =
    "/var/mobile/Library/Preferences/com.nu-falk.halvernic-prefs.plist";

}  // namespace hv_test
