// SystemConfiguration preferences, the subset this system uses (see SCPreferences.h).
//
// A session is an Objective-C object holding its copy of the store and the list of
// changes made through it. Commit takes an exclusive lock on the store's folder, reads
// the store as it is now, replays the session's changes on it and writes it back
// atomically (a temporary file renamed into place): concurrent sessions, in this process
// or another, never lose each other's keys, and a reader never sees a partial file.
#include <SystemConfiguration/SystemConfiguration.h>
#include <fcntl.h>
#include <notify.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "hvplatform/environment.h"
#include "hvplatform/sc_testing.h"

namespace {

constexpr const char kStoreFolder[] = "Library/Preferences/SystemConfiguration";
constexpr const char kDefaultIdentifier[] = "preferences.plist";

thread_local int last_error = kSCStatusOK;

bool fail(int status) {
  last_error = status;
  return false;
}

id as_object(CFTypeRef cf) { return const_cast<id>(static_cast<const objc_object*>(cf)); }

struct Change {
  std::string key;
  objc::Ref value;  // empty: remove the key
};

struct Session {
  std::mutex mutex;
  std::string name;
  std::optional<std::string> identifier;
  std::string path;
  objc::Ref values;  // NSMutableDictionary: the store as read, with this session's changes
  std::vector<Change> changes;
};

// Failure injection (test hooks).
struct Injection {
  std::mutex mutex;
  int commits_until_failure = 0;  // 0: none
  int commit_failure_status = kSCStatusFailed;
  int creates_to_fail = 0;
  int create_failure_status = kSCStatusFailed;
};
Injection& injection() {
  static Injection* value = new Injection;
  return *value;
}
std::atomic<int> commit_count{0};

Class session_class() {
  static Class cls = objc::ClassBuilder("HVSCPreferences", "NSObject").storage<Session>().build();
  return cls;
}

Session* session_of(SCPreferencesRef prefs) {
  id object = as_object(prefs);
  if (!object || objc::classOf(object) != session_class()) return nullptr;
  return &objc::storage<Session>(object);
}

std::optional<std::string> string_of(CFStringRef string) {
  if (!string || !objc::isString(as_object(string))) return std::nullopt;
  return objc::toString(as_object(string));
}

objc::Ref read_store(const std::string& path) {
  objc::Ref plist = objc::readPropertyListFile(path);
  if (objc::isDictionary(plist.get())) return plist;
  return objc::makeMutableDictionary();  // missing or unreadable: an empty store
}

// An exclusive lock on the store's folder for the scope (between processes and between
// the sessions of one process, each of which opens the folder itself).
class FolderLock {
public:
  explicit FolderLock(const std::filesystem::path& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  bool held() const { return fd_ >= 0; }

private:
  int fd_;
};

}  // namespace

#define HV_SC_API extern "C" [[gnu::visibility("default")]]

HV_SC_API int SCError(void) { return last_error; }

HV_SC_API const char* SCErrorString(int status) {
  switch (status) {
    case kSCStatusOK: return "Success!";
    case kSCStatusFailed: return "Failed!";
    case kSCStatusInvalidArgument: return "Invalid argument!";
    case kSCStatusAccessError: return "Permission denied!";
    case kSCStatusNoKey: return "No such key!";
    case kSCStatusKeyExists: return "Key already defined!";
    case kSCStatusLocked: return "Lock already held!";
    case kSCStatusNeedLock: return "Lock required for this operation!";
    case kSCStatusNoStoreSession: return "Configuration daemon session not active!";
    case kSCStatusNoStoreServer: return "Configuration daemon not (no longer) available!";
    case kSCStatusNotifierActive: return "Notifier is currently active!";
    case kSCStatusNoPrefsSession: return "Preferences session not active!";
    case kSCStatusPrefsBusy: return "Preferences update currently in progress!";
    case kSCStatusNoConfigFile: return "Configuration file not found!";
    case kSCStatusNoLink: return "No such link!";
    case kSCStatusStale: return "Write attempted on stale version of object!";
    case kSCStatusMaxLink: return "Maximum link count exceeded!";
    default: return "Unknown error";
  }
}

HV_SC_API SCPreferencesRef SCPreferencesCreate(CFAllocatorRef, CFStringRef name,
                                               CFStringRef prefsID) {
  {
    Injection& inj = injection();
    std::lock_guard<std::mutex> lock(inj.mutex);
    if (inj.creates_to_fail > 0) {
      --inj.creates_to_fail;
      fail(inj.create_failure_status);
      return nullptr;
    }
  }
  objc::AutoreleasePool pool;
  std::optional<std::string> session_name = string_of(name);
  if (!session_name) return fail(kSCStatusInvalidArgument), nullptr;
  std::optional<std::string> identifier;
  if (prefsID) {
    identifier = string_of(prefsID);
    if (!identifier || identifier->empty()) return fail(kSCStatusInvalidArgument), nullptr;
  }
  const char* root = std::getenv(HV_ENV_DEVICE_ROOT);
  if (!root || !*root) return fail(kSCStatusNoConfigFile), nullptr;

  std::filesystem::path path(root);
  const std::string& file = identifier ? *identifier : std::string(kDefaultIdentifier);
  if (file.front() == '/') {
    path += file;
  } else {
    path /= kStoreFolder;
    path /= file;
  }

  objc::Ref object = objc::Ref::adopt(
      objc::send<id>(objc::send<id>(session_class(), objc::sel("alloc")), objc::sel("init")));
  Session& session = objc::storage<Session>(object.get());
  session.name = *session_name;
  session.identifier = identifier;
  session.path = path.lexically_normal().string();
  session.values = read_store(session.path);
  return static_cast<SCPreferencesRef>(static_cast<const void*>(object.leak()));
}

HV_SC_API CFPropertyListRef SCPreferencesGetValue(SCPreferencesRef prefs, CFStringRef key) {
  Session* session = session_of(prefs);
  if (!session || !string_of(key)) return fail(kSCStatusInvalidArgument), nullptr;
  std::lock_guard<std::mutex> lock(session->mutex);
  id value = objc::dictionaryGet(session->values.get(), as_object(key));
  if (!value) return fail(kSCStatusNoKey), nullptr;
  return value;
}

HV_SC_API CFArrayRef SCPreferencesCopyKeyList(SCPreferencesRef prefs) {
  Session* session = session_of(prefs);
  if (!session) return fail(kSCStatusInvalidArgument), nullptr;
  std::lock_guard<std::mutex> lock(session->mutex);
  id keys = objc::dictionaryKeys(session->values.get());
  return static_cast<CFArrayRef>(static_cast<const void*>(objc::retain(keys)));
}

HV_SC_API Boolean SCPreferencesSetValue(SCPreferencesRef prefs, CFStringRef key,
                                        CFPropertyListRef value) {
  Session* session = session_of(prefs);
  std::optional<std::string> text = string_of(key);
  if (!session || !text || !value) return fail(kSCStatusInvalidArgument);
  std::lock_guard<std::mutex> lock(session->mutex);
  objc::dictionarySet(session->values.get(), as_object(key), as_object(value));
  session->changes.push_back({*text, objc::Ref::retain(as_object(value))});
  return TRUE;
}

HV_SC_API Boolean SCPreferencesRemoveValue(SCPreferencesRef prefs, CFStringRef key) {
  Session* session = session_of(prefs);
  std::optional<std::string> text = string_of(key);
  if (!session || !text) return fail(kSCStatusInvalidArgument);
  std::lock_guard<std::mutex> lock(session->mutex);
  if (!objc::dictionaryGet(session->values.get(), as_object(key))) return fail(kSCStatusNoKey);
  objc::dictionaryRemove(session->values.get(), *text);
  session->changes.push_back({*text, {}});
  return TRUE;
}

HV_SC_API Boolean SCPreferencesCommitChanges(SCPreferencesRef prefs) {
  Session* session = session_of(prefs);
  if (!session) return fail(kSCStatusInvalidArgument);
  commit_count.fetch_add(1, std::memory_order_relaxed);
  {
    Injection& inj = injection();
    std::lock_guard<std::mutex> lock(inj.mutex);
    if (inj.commits_until_failure > 0 && --inj.commits_until_failure == 0) {
      return fail(inj.commit_failure_status);
    }
  }
  objc::AutoreleasePool pool;
  std::lock_guard<std::mutex> lock(session->mutex);
  const std::filesystem::path path(session->path);
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  if (error) return fail(kSCStatusAccessError);
  FolderLock folder_lock(path.parent_path());
  if (!folder_lock.held()) return fail(kSCStatusFailed);

  objc::Ref store = read_store(session->path);
  for (const Change& change : session->changes) {
    if (change.value) {
      objc::dictionarySet(store.get(), change.key, change.value.get());
    } else {
      objc::dictionaryRemove(store.get(), change.key);
    }
  }
  if (!objc::writePropertyListXmlAtomically(store.get(), session->path)) {
    return fail(::access(path.parent_path().c_str(), W_OK) == 0 ? kSCStatusFailed
                                                                : kSCStatusAccessError);
  }
  session->changes.clear();
  session->values = store;
  return TRUE;
}

HV_SC_API Boolean SCPreferencesApplyChanges(SCPreferencesRef prefs) {
  Session* session = session_of(prefs);
  if (!session) return fail(kSCStatusInvalidArgument);
  std::string name = HVSC_APPLY_NOTIFICATION_PREFIX;
  name += session->identifier ? *session->identifier : std::string(kDefaultIdentifier);
  int token = NOTIFY_TOKEN_INVALID;
  if (notify_register_check(name.c_str(), &token) != NOTIFY_STATUS_OK)
    return fail(kSCStatusNoStoreServer);
  std::uint64_t applies = 0;
  std::uint32_t status = notify_get_state(token, &applies);
  if (status == NOTIFY_STATUS_OK) status = notify_set_state(token, applies + 1);
  if (status == NOTIFY_STATUS_OK) status = notify_post(name.c_str());
  notify_cancel(token);
  return status == NOTIFY_STATUS_OK ? TRUE : fail(kSCStatusNoStoreServer);
}

// ---- test hooks -------------------------------------------------------------------------

HV_SC_API void HVSCTestFailCommit(int n, int status) {
  Injection& inj = injection();
  std::lock_guard<std::mutex> lock(inj.mutex);
  inj.commits_until_failure = n > 0 ? n : 0;
  inj.commit_failure_status = status;
}

HV_SC_API void HVSCTestFailCreate(int count, int status) {
  Injection& inj = injection();
  std::lock_guard<std::mutex> lock(inj.mutex);
  inj.creates_to_fail = count > 0 ? count : 0;
  inj.create_failure_status = status;
}

HV_SC_API void HVSCTestReset(void) {
  HVSCTestFailCommit(0, kSCStatusFailed);
  HVSCTestFailCreate(0, kSCStatusFailed);
}

HV_SC_API int HVSCTestCommitCount(void) { return commit_count.load(std::memory_order_relaxed); }

HV_SC_API const char* HVSCTestSessionName(SCPreferencesRef prefs) {
  Session* session = session_of(prefs);
  return session ? session->name.c_str() : nullptr;
}

HV_SC_API const char* HVSCTestSessionIdentifier(SCPreferencesRef prefs) {
  Session* session = session_of(prefs);
  return session && session->identifier ? session->identifier->c_str() : nullptr;
}

HV_SC_API const char* HVSCTestSessionPath(SCPreferencesRef prefs) {
  Session* session = session_of(prefs);
  return session ? session->path.c_str() : nullptr;
}
