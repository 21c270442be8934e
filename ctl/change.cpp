// mode and set: one change written and announced as the Settings pane makes it, never
// silently: a write that fails is reported and nothing is posted.
#include <notify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "ctl/commands.hpp"
#include "ctl/switches.hpp"
#include "extension/contract/announce.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::ctl {

namespace {

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why the file at path could not be written, for people. The write itself answers only
// whether it succeeded; the file's folder is looked at afterwards, and errno as the write
// left it (saved) is the last resort.
std::string writeFailure(const std::string& path, int saved) {
  struct stat info{};
  if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return "a folder is in the file's place";
  }
  const std::string folder = parentOf(path);
  // The nearest folder on the way that exists (links followed: /var/jb is one on a device).
  std::string existing = folder;
  while (::stat(existing.c_str(), &info) != 0) {
    if (errno != ENOENT) return existing + ": " + std::strerror(errno);
    if (existing == "/" || existing == ".") return "no folder on the way exists";
    existing = parentOf(existing);
  }
  if (!S_ISDIR(info.st_mode)) return existing + " is not a folder";
  if (existing != folder) {
    std::string why = "the folder " + folder + " does not exist";
    if (::access(existing.c_str(), W_OK | X_OK) != 0) {
      why += ", and " + existing + " admits no new one (" + std::strerror(errno) + ")";
    }
    return why;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return folder + ": " + std::strerror(errno);
  if (saved != 0) return std::strerror(saved);
  return "the write failed";
}

// The Darwin notify centre's posts are notify posts of the name (the observers get the
// name alone): posting through notify answers whether the post went out.
std::string post(const char* name, std::vector<std::string>& failures) {
  const std::uint32_t status = notify_post(name);
  if (status != NOTIFY_STATUS_OK) {
    failures.push_back("posting " + std::string(name) + " failed (notify status " +
                       std::to_string(status) + ")");
    return "";
  }
  return name;
}

// The runtime-state word as every writer publishes it (contract::publishRuntimeState),
// each failure said. Answers the name when it was posted.
std::string publishRuntimeState(std::vector<std::string>& failures) {
  using Step = contract::RuntimeStatePublication::Step;
  const char* name = contract::kRuntimeStateNotification;
  const contract::RuntimeStatePublication publication = contract::publishRuntimeState();
  if (publication.published()) return name;
  const std::string status = " (notify status " + std::to_string(publication.status) + ")";
  switch (publication.failed) {
    case Step::registration:
      failures.push_back("registering for " + std::string(name) + " failed" + status +
                         ": the runtime-state word was not published");
      break;
    case Step::setState:
      failures.push_back("setting the runtime-state word failed" + status + ": it was not posted");
      break;
    case Step::post: failures.push_back("posting " + std::string(name) + " failed" + status); break;
  }
  return "";
}

// One change: the file written through the contract (key set, the mode-reset keys dropped,
// written atomically), then the runtime-state word and the notifications in the pane's
// order, the restart last and only for the mode.
Status change(Invocation& invocation, const char* key, id value, std::string_view shown,
              bool restart) {
  const std::string path = contract::resolvedPreferencesPath();
  if (path.empty()) {
    invocation.complain(
        "the preferences file's path cannot be resolved below the jailbreak root; nothing "
        "was written or posted");
    return Status::failed;
  }
  // Run as root (a shell on the phone), the file and any folder made for it are left as
  // the front-ends, which run as mobile, leave them.
  contract::WriteOptions options;
  if (invocation.context.isRoot) {
    options.ownership = {contract::kMobileUserId, contract::kMobileGroupId,
                         contract::kPreferencesFileMode};
  }
  // A file there that does not read is set aside by the write, never replaced: say so.
  struct stat info{};
  const bool unreadable = ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) &&
                          !contract::readPreferences(path);
  errno = 0;
  const bool written = contract::writePreferenceValue(path, key, value, options);
  const int saved = errno;
  if (!written) {
    invocation.complain("cannot write " + path + ": " + writeFailure(path, saved) +
                        "; nothing was posted");
    return Status::failed;
  }
  std::vector<std::string> failures, posted;
  auto note = [&](std::string name) {
    if (!name.empty()) posted.push_back(std::move(name));
  };
  note(publishRuntimeState(failures));
  note(post(contract::kExecutePuppetEventNotification, failures));
  if (restart) note(post(contract::kRestartThermalMonitorNotification, failures));

  std::ostream& out = invocation.context.out;
  out << key << " = " << shown << "\nwritten to " << path << "\n";
  if (unreadable) {
    out << "the file that was there did not read as preferences: kept as " << path
        << contract::kUnreadableSuffix << "\n";
  }
  out << "posted";
  if (posted.empty()) out << " nothing";
  for (std::size_t i = 0; i < posted.size(); ++i) out << (i ? ", " : " ") << posted[i];
  out << "\n";
  for (const std::string& failure : failures) invocation.complain(failure);
  return failures.empty() ? Status::ok : Status::failed;
}

constexpr std::array<std::string_view, 2> kSwitchValues = {"on", "off"};

}  // namespace

Status runMode(Invocation& invocation) {
  std::array<std::string_view, contract::kPowerModeValues.size()> modes;
  for (std::size_t i = 0; i < modes.size(); ++i) modes[i] = contract::kPowerModeValues[i];
  const auto index = parseChoice(invocation, "the mode", invocation.operands[0], modes);
  if (!index) return Status::usage;
  const char* mode = contract::kPowerModeValues[*index];
  objc::AutoreleasePool pool;
  return change(invocation, contract::kPowerModeKey, objc::string(mode), mode, true);
}

Status runSet(Invocation& invocation) {
  const Switch* entry = findSwitch(invocation.operands[0]);
  if (!entry) {
    std::string known;
    for (const Switch& s : kSwitches) {
      known += (known.empty() ? "" : ", ") + shortName(s.key) + " (" + s.key + ")";
    }
    invocation.complain("unknown switch " + quoted(invocation.operands[0]) +
                        "; the switches: " + known + " (the mode: halvernicctl mode)");
    return Status::usage;
  }
  const auto index = parseChoice(invocation, "the value", invocation.operands[1], kSwitchValues);
  if (!index) return Status::usage;
  const bool on = *index == 0;
  objc::AutoreleasePool pool;
  return change(invocation, entry->key, objc::boolean(on), kSwitchValues[*index], false);
}

}  // namespace halvernic::ctl
