// A file's identity as stat gives it, a bounded read of a whole file, and an atomic write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace os {

// What tells one version of a file from another without reading it: the device and inode
// (a file renamed into place is another file), its size, and its modification and status
// change times. Equal stamps may still hide a change made within one tick of the file
// system's clock: see FileStamp::changedWithin.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;  // wall clock
  std::int64_t changed_ns = 0;   // wall clock
  bool operator==(const FileStamp&) const = default;

  // Whether either time lies less than window before now (or after it): a write within
  // the same tick could then follow without changing the stamp.
  bool changedWithin(std::int64_t window_ns, std::int64_t now_ns) const noexcept {
    const std::int64_t latest = modified_ns > changed_ns ? modified_ns : changed_ns;
    return now_ns - latest < window_ns;
  }
};

// The stamp of the file at path (following links); nothing when it cannot be stat'ed.
std::optional<FileStamp> fileStamp(const char* path) noexcept;

enum class ReadStatus {
  ok,
  missing,   // no such file
  tooLarge,  // larger than the limit when opened, or grew past it while read
  failed,    // anything else (a symbolic link, not a regular file, permissions, read errors)
};

// Reads the whole regular file at path into bytes with one open file and reads bounded by
// max_bytes: a file above the limit is never read, and one growing meanwhile is never read
// past it. The file is opened without blocking and without following a symbolic link in
// the last component of path (a link there fails), and checked on that open file, so a
// FIFO or device planted at path never stalls the reader. stamp, when given, receives the
// stamp of the file that was opened.
ReadStatus readFile(const char* path, std::size_t max_bytes, std::string& bytes,
                    FileStamp* stamp = nullptr);

// Replaces the file at path with bytes, atomically: a reader sees the old file or the new
// one, never a part. The bytes go to a new file beside it (".<name>.<pid>.tmp", created
// exclusively, never through a link) with exactly the given permission bits, which is
// then renamed over path. The folder is opened without following a final link. Answers 0,
// or the errno of the step that failed (nothing is left behind then).
int writeFileAtomically(const char* path, const void* bytes, std::size_t size,
                        unsigned mode) noexcept;

// Makes the folder at path (its parent must exist) with the given permission bits, exactly;
// an existing folder is left as it is. Answers 0, or the errno that stopped it (ENOTDIR
// when something else than a folder has that name).
int makeFolder(const char* path, unsigned mode) noexcept;

}  // namespace os
