#include "tests/replacements/private_view.hpp"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace hv_test {

namespace {

// Function-local, so they exist when the load-time initialiser below runs.
struct State {
  PrivateView view;
  std::string base;
};
State& state() {
  static State* s = new State();
  return *s;
}

std::string failure(const std::string& what) { return what + ": " + std::strerror(errno); }

bool writeFile(const char* path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

std::string enterNamespace() {
  if (geteuid() == 0) {
    if (unshare(CLONE_NEWNS) != 0) return failure("unshare(CLONE_NEWNS) as root");
    return {};
  }
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
    return failure("neither root nor allowed a user and mount namespace (unshare -Urm)");
  }
  if (!writeFile("/proc/self/setgroups", "deny") ||
      !writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
      !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
    return failure("mapping the user namespace");
  }
  return {};
}

std::string makeView() {
  PrivateView& view = state().view;
  std::string& base_ = state().base;
  char folder[] = "/tmp/hv-private-view-XXXXXX";
  if (!mkdtemp(folder)) return failure("mkdtemp");
  base_ = folder;
  view.deviceRoot = base_ + "/device";
  view.folder = view.deviceRoot + "/var/mobile";
  view.jbFolder = view.deviceRoot + "/var/jb/var/mobile";
  view.preferencesPath = view.jbFolder + "/Library/Preferences/com.nu-falk.halvernic-prefs.plist";
  std::error_code error;
  std::filesystem::create_directories(view.folder + "/Library/Preferences", error);
  std::filesystem::create_directories(view.jbFolder + "/Library/Preferences", error);
  std::filesystem::create_directories(base_ + "/upper", error);
  std::filesystem::create_directories(base_ + "/work", error);
  if (error) return "creating the test folders: " + error.message();

  if (std::string why = enterNamespace(); !why.empty()) return why;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return failure("making the mount namespace private");
  }
  struct stat info{};
  if (stat("/var/mobile", &info) != 0) {
    // No /var/mobile on this machine: lay a private overlay on /var that adds it.
    const std::string options =
        "lowerdir=/var,upperdir=" + base_ + "/upper,workdir=" + base_ + "/work";
    if (mount("overlay", "/var", "overlay", 0, options.c_str()) != 0) {
      return failure("overlaying /var in the private namespace");
    }
    if (mkdir("/var/mobile", 0755) != 0) return failure("mkdir /var/mobile in the overlay");
  }
  if (mount(view.folder.c_str(), "/var/mobile", nullptr, MS_BIND, nullptr) != 0) {
    return failure("binding the test folder onto /var/mobile");
  }
  return {};
}

void removeView() {
  const PrivateView& view = state().view;
  const std::string& base_ = state().base;
  if (view.ready) {
    umount2("/var/mobile", MNT_DETACH);
    umount2("/var", MNT_DETACH);
  }
  if (!base_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
  }
}

// Before main, while the program has a single thread (a user namespace cannot be entered
// later), so every thread and child process of the test program shares the view.
[[gnu::constructor(101)]] void setUpPrivateView() {
  PrivateView& view = state().view;
  view.failure = makeView();
  view.ready = view.failure.empty();
  if (view.ready) setenv("HALVERNIC_DEVICE_ROOT", view.deviceRoot.c_str(), 1);
  std::atexit(&removeView);
}

}  // namespace

const PrivateView& privateView() { return state().view; }

}  // namespace hv_test
