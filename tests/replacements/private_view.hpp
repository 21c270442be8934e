// A private device layout for the tests of this process and the processes it starts: the
// process enters a mount namespace of its own (a user namespace too when it is not root,
// as `unshare -Urm` does) before any thread exists, and /var/mobile there shows the device
// root's own /var/mobile. As on a rootless jailbreak, the jailbreak root's /var/mobile
// (<deviceRoot>/var/jb/var/mobile, where the system writes tweak preferences and every
// reader finds them through jbroot) is another folder: a file at the literal path
// /var/mobile/Library/Preferences/... is one nobody reads. HALVERNIC_DEVICE_ROOT is set to
// the device root before main. Nothing outside the process's namespace changes.
#pragma once

#include <string>

namespace hv_test {

struct PrivateView {
  bool ready = false;
  std::string failure;     // why the view could not be made (when not ready)
  std::string deviceRoot;  // HALVERNIC_DEVICE_ROOT for processes that resolve with jbroot
  std::string folder;      // what /var/mobile shows: <deviceRoot>/var/mobile
  std::string jbFolder;    // the jailbreak root's /var/mobile: <deviceRoot>/var/jb/var/mobile
  // The preferences file every reader opens (the jbroot-resolved path, below jbFolder).
  std::string preferencesPath;
};

// Made once, by a load-time initialiser of the test program.
const PrivateView& privateView();

// The preferences file's literal path: below the device root's own /var/mobile, which no
// reader opens.
inline constexpr char kLiteralPreferencesPath[] =
    "/var/mobile/Library/Preferences/com.nu-falk.halvernic-prefs.plist";

}  // namespace hv_test
