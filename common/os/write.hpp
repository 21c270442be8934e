// Writing a whole file so that a reader sees the old file or the new one, never a mixture,
// with every step after the temporary file's creation done on descriptors: a link planted
// in the folder meanwhile redirects nothing. Plus the two steps a writer of a shared file
// takes before it writes: making the missing folders on the way, and setting aside a file
// it is about to replace but could not read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace os {

// Who owns a file or folder the writer makes, and its permission bits, for a writer that
// writes on another user's behalf (a tool running as root leaving the file as the user's
// own programs would: 501:501, 0644). Each part left out takes its default.
struct Ownership {
  std::optional<std::uint32_t> uid;
  std::optional<std::uint32_t> gid;
  std::optional<std::uint32_t> mode;  // permission bits (07777 at most)
};

// Writes bytes as the file at path: a temporary file created exclusively in the same
// folder, its owner and mode set on its descriptor, the bytes written and synced, then
// renamed over path; the folder is synced after. Nothing is done by path afterwards.
// The new file's owner and mode are ownership's parts where given; otherwise those of
// the regular file it replaces (the owner only where the process may give it away), or,
// for a new file, the writer's own and 0666 less the umask. A link at path is replaced,
// never followed. On any failure the temporary file is removed, the old file is left as
// it was, and the result is false.
bool writeFileAtomically(const std::string& path, std::string_view bytes,
                         const Ownership& ownership = {});

// Makes the folders of `folder` that are missing below `base` (an existing folder that
// `folder` lies inside, or is), one at a time, each with mode 0755 (ownership's mode does
// not apply: it is a file's) and owned by ownership's uid and gid where given, else by
// the writer. Folders that exist are left as they are. A folder that is made and then
// found to be no folder of this call's making (a link swapped in) fails the call. false
// when a folder is missing and cannot be made, or `folder` is not inside `base`.
bool makeFolders(const std::string& folder, const std::string& base,
                 const Ownership& ownership = {});

// Renames whatever is at path (a file, a link, anything) to path + suffix, replacing what
// was there before under that name (a folder only by a folder, and only an empty one).
// true when something was renamed; false when nothing is at path or the rename failed.
bool setAside(const std::string& path, std::string_view suffix);

// What is at path, without following a final link.
enum class Entry { none, folder, other };
Entry entryAt(const std::string& path) noexcept;

}  // namespace os
