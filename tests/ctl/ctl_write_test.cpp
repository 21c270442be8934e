// halvernicctl mode and set, in process, on the suite's private view of a device (its own
// mount namespace, so a folder can be made read-only even for root): what the file holds
// afterwards, what was posted and in which order, what a failed write says, and who owns
// the file when root writes it. Names and states stay inside this process.
#include <gtest/gtest.h>
#include <notify.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "ctl/ctl.hpp"
#include "extension/contract/contract.hpp"
#include "hvplatform/notify_function.h"
#include "tests/replacements/private_view.hpp"

namespace {

namespace fs = std::filesystem;
namespace ctl = halvernic::ctl;
namespace contract = halvernic::contract;
using ctl::Status;
using namespace std::chrono_literals;

const bool kInProcess = [] {
  unsetenv("HALVERNIC_NOTIFY_SOCKET");  // names and states inside this process
  return true;
}();

struct Result {
  Status status;
  std::string out, err;
};

Result run(std::vector<std::string> arguments, bool root = true) {
  std::ostringstream out, err;
  ctl::Context context{root, out, err};
  const Status status = ctl::run(arguments, context);
  return {status, out.str(), err.str()};
}

// Every post of the three names the front-ends post, in the order they came.
class Observer {
public:
  Observer() {
    for (const char* name :
         {contract::kRuntimeStateNotification, contract::kExecutePuppetEventNotification,
          contract::kRestartThermalMonitorNotification}) {
      int token = 0;
      EXPECT_EQ(hv_notify_register_function(name, &token, &Observer::heard, this),
                NOTIFY_STATUS_OK);
      tokens_.push_back(token);
    }
  }
  ~Observer() {
    for (int token : tokens_) notify_cancel(token);
  }
  // The names heard once count have come (or after timeout); with count 0, what came
  // within the timeout.
  std::vector<std::string> heard(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if ((count > 0 && names_.size() >= count) || std::chrono::steady_clock::now() >= deadline) {
          return names_;
        }
      }
      std::this_thread::sleep_for(10ms);
    }
  }

private:
  static void heard(int, const char* name, void* context) {
    auto* self = static_cast<Observer*>(context);
    std::lock_guard lock(self->mutex_);
    self->names_.emplace_back(name);
  }
  std::vector<int> tokens_;
  std::mutex mutex_;
  std::vector<std::string> names_;
};

std::uint64_t runtimeWord() {
  int token = 0;
  notify_register_check(contract::kRuntimeStateNotification, &token);
  std::uint64_t word = 0;
  notify_get_state(token, &word);
  notify_cancel(token);
  return word;
}

void setRuntimeWord(std::uint64_t word) {
  int token = 0;
  notify_register_check(contract::kRuntimeStateNotification, &token);
  notify_set_state(token, word);
  notify_cancel(token);
}

class CtlWrite : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(hv_test::privateView().ready) << hv_test::privateView().failure;
    path_ = hv_test::privateView().preferencesPath;
    folder_ = fs::path(path_).parent_path().string();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    setRuntimeWord(0);
  }
  void TearDown() override {
    for (const std::string& mount : mounts_) umount2(mount.c_str(), MNT_DETACH);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }

  // A read-only view of folder, for root too.
  bool makeReadOnly(const std::string& folder) {
    if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    mounts_.push_back(folder);
    return mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
  }

  // The file's entries, key -> value as the file holds it ("" for a missing file).
  std::map<std::string, std::string> entries() const {
    objc::AutoreleasePool pool;
    std::map<std::string, std::string> values;
    objc::Ref plist = contract::readPreferences(path_);
    objc::forEachEntry(plist.get(), [&](id key, id value) {
      values[objc::toString(key)] = objc::isBoolean(value)
                                        ? (objc::platformBoolValue(value) ? "true" : "false")
                                        : objc::toString(value);
      return true;
    });
    return values;
  }

  void seed() {
    objc::AutoreleasePool pool;
    objc::Ref plist = objc::makeMutableDictionary();
    objc::dictionarySet(plist.get(), "someoneElsesKey", objc::string("kept"));
    objc::dictionarySet(plist.get(), contract::kSuppressNotificationsKey, objc::boolean(true));
    objc::dictionarySet(plist.get(), contract::kPowerModeKey, objc::string("fullPower"));
    for (const char* key : contract::kModeResetKeys) {
      objc::dictionarySet(plist.get(), key, objc::number(1));
    }
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(plist.get(), path_));
  }

  std::string path_, folder_;
  std::vector<std::string> mounts_;
};

// What the pane does for each change: the key set, every other key kept, the seven
// mode-reset keys dropped; the runtime-state word published, then the re-apply post, and
// the restart post last, for the mode only.
TEST_F(CtlWrite, ModeAndSetWriteAndAnnounceAsThePaneDoes) {
  const std::string word = contract::kRuntimeStateNotification;
  const std::string apply = contract::kExecutePuppetEventNotification;
  const std::string restart = contract::kRestartThermalMonitorNotification;
  struct Case {
    std::vector<std::string> arguments;
    const char* key;
    const char* stored;
    std::vector<std::string> posts;
  };
  const Case cases[] = {
      {{"mode", "lowPower"}, contract::kPowerModeKey, "lowPower", {word, apply, restart}},
      {{"mode", "off"}, contract::kPowerModeKey, "off", {word, apply, restart}},
      {{"set", "preventDimming", "on"}, contract::kPreventDimmingKey, "true", {word, apply}},
      {{"set", contract::kSunlightLockedKey, "on"},
       contract::kSunlightLockedKey,
       "true",
       {word, apply}},
      {{"set", "suppressNotifications", "off"},
       contract::kSuppressNotificationsKey,
       "false",
       {word, apply}},
      {{"set", "disablePocketSunlight", "off"},
       contract::kDisablePocketSunlightKey,
       "false",
       {word, apply}},
  };
  for (const Case& c : cases) {
    const std::string shown = c.arguments[0] + " " + c.arguments[1];
    seed();
    setRuntimeWord(0);
    std::map<std::string, std::string> expected = entries();
    for (const char* key : contract::kModeResetKeys) expected.erase(key);
    expected[c.key] = c.stored;
    Observer observer;
    const Result result = run(c.arguments);
    EXPECT_EQ(result.status, Status::ok) << shown << "\n" << result.err;
    EXPECT_EQ(result.err, "") << shown;
    EXPECT_EQ(result.out.rfind(std::string(c.key) + " = ", 0), 0u) << shown << "\n" << result.out;
    EXPECT_EQ(entries(), expected) << shown;
    EXPECT_EQ(observer.heard(c.posts.size() + 1, 500ms), c.posts) << shown;
    EXPECT_EQ(runtimeWord(), contract::kPublishedRuntimeState) << shown;
  }
  // A file that does not read is kept aside, and the tool says where.
  {
    std::ofstream(path_) << "bplist00 broken";
  }
  const Result aside = run({"mode", "fullPower"});
  EXPECT_EQ(aside.status, Status::ok) << aside.err;
  EXPECT_NE(aside.out.find("\nthe file that was there did not read as preferences: kept as " +
                           path_ + contract::kUnreadableSuffix + "\n"),
            std::string::npos)
      << aside.out;
  EXPECT_EQ(std::ifstream(path_ + contract::kUnreadableSuffix).get(), 'b');
  EXPECT_EQ(entries(),
            (std::map<std::string, std::string>{{contract::kPowerModeKey, "fullPower"}}));
  EXPECT_EQ(run({"mode", "off"}).out.find("kept as"), std::string::npos) << "only when it was";
  // A first change on a device without the file makes it with the one key.
  fs::remove(path_);
  EXPECT_EQ(run({"set", "preventDimming", "off"}).status, Status::ok);
  EXPECT_EQ(entries(),
            (std::map<std::string, std::string>{{contract::kPreventDimmingKey, "false"}}));
}

// Never silent: a write that fails says which file and why, exits 1, and posts nothing
// (the daemon is not told of a change that did not happen); the file is as it was.
TEST_F(CtlWrite, AFailedWriteIsStatusOneWithTheReasonAndPostsNothing) {
  const std::string library = fs::path(folder_).parent_path().string();
  struct Case {
    const char* what;
    std::function<bool()> prepare;
    std::string reason;
  };
  const Case cases[] = {
      {"a read-only folder",
       [&] {
         seed();
         return makeReadOnly(folder_);
       },
       folder_ + ": Read-only file system"},
      {"a missing folder that cannot be made",
       [&] {
         fs::remove_all(folder_);
         return makeReadOnly(library);
       },
       "the folder " + folder_ + " does not exist, and " + library +
           " admits no new one (Read-only file system)"},
      {"a file where the folder should be",
       [&] {
         fs::remove_all(folder_);
         return static_cast<bool>(std::ofstream(folder_) << "x");
       },
       folder_ + " is not a folder"},
      {"a folder in the file's place", [&] { return fs::create_directory(path_); },
       "a folder is in the file's place"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.prepare()) << c.what << ": " << std::strerror(errno);
    const std::map<std::string, std::string> before = entries();
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"mode", "fullPower"}, {"set", "sunlightLocked", "on"}}) {
      Observer observer;
      const Result result = run(arguments);
      EXPECT_EQ(result.status, Status::failed) << c.what << " " << arguments[0];
      EXPECT_EQ(result.out, "") << c.what;
      EXPECT_EQ(result.err, "halvernicctl " + arguments[0] + ": cannot write " + path_ + ": " +
                                c.reason + "; nothing was posted\n")
          << c.what;
      EXPECT_EQ(observer.heard(0, 300ms), std::vector<std::string>{}) << c.what;
      EXPECT_EQ(runtimeWord(), 0u) << c.what << ": the word was published";
      EXPECT_EQ(entries(), before) << c.what;
    }
    for (const std::string& mount : mounts_) umount2(mount.c_str(), MNT_DETACH);
    mounts_.clear();
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    fs::remove_all(folder_, ignored);
    fs::create_directories(folder_);
  }
}

// Run as root (a shell on the phone), the file stays the mobile user's, as the front-ends
// leave it: a new file, and one root wrote before with its own owner and mode.
TEST_F(CtlWrite, RunAsRootTheFileStaysTheMobileUsers) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  auto owner = [&] {
    struct stat info{};
    EXPECT_EQ(::stat(path_.c_str(), &info), 0);
    return std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid) + " " +
           std::to_string(info.st_mode & 07777);
  };
  const std::string mobile = std::to_string(contract::kMobileUserId) + ":" +
                             std::to_string(contract::kMobileGroupId) + " " +
                             std::to_string(contract::kPreferencesFileMode);
  ASSERT_EQ(run({"mode", "lowPower"}).status, Status::ok);
  EXPECT_EQ(owner(), mobile) << "a new file";
  ASSERT_EQ(::chown(path_.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
  ASSERT_EQ(run({"set", "preventDimming", "on"}).status, Status::ok);
  EXPECT_EQ(owner(), mobile) << "a file root had taken";
  // A device without the folder: made for the file, the mobile user's too.
  fs::remove_all(folder_);
  ASSERT_EQ(run({"set", "preventDimming", "off"}).status, Status::ok);
  EXPECT_EQ(owner(), mobile) << "a file in a folder made for it";
  struct stat info{};
  ASSERT_EQ(::stat(folder_.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, contract::kMobileUserId);
  EXPECT_EQ(info.st_gid, contract::kMobileGroupId);
  // Not run as root (as mobile): the owner and mode of the file it replaces, as the
  // front-ends keep them.
  ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
  ASSERT_EQ(run({"set", "preventDimming", "on"}, false).status, Status::ok);
  EXPECT_EQ(owner(), "501:501 416") << "not root: the replaced file's";
}

}  // namespace
