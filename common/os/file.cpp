#include "common/os/file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace os {
namespace {

std::int64_t nanoseconds(const timespec& t) noexcept {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileStamp stampOf(const struct stat& info) noexcept {
  FileStamp stamp;
  stamp.device = static_cast<std::uint64_t>(info.st_dev);
  stamp.inode = static_cast<std::uint64_t>(info.st_ino);
  stamp.size = static_cast<std::int64_t>(info.st_size);
#if defined(__APPLE__)
  stamp.modified_ns = nanoseconds(info.st_mtimespec);
  stamp.changed_ns = nanoseconds(info.st_ctimespec);
#else
  stamp.modified_ns = nanoseconds(info.st_mtim);
  stamp.changed_ns = nanoseconds(info.st_ctim);
#endif
  return stamp;
}

class File {
public:
  explicit File(int fd) noexcept : fd_(fd) {}
  ~File() {
    if (fd_ >= 0) close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  int get() const noexcept { return fd_; }

private:
  int fd_;
};

}  // namespace

std::optional<FileStamp> fileStamp(const char* path) noexcept {
  struct stat info{};
  if (!path || stat(path, &info) != 0) return std::nullopt;
  return stampOf(info);
}

ReadStatus readFile(const char* path, std::size_t max_bytes, std::string& bytes, FileStamp* stamp) {
  bytes.clear();
  if (!path || !*path) return ReadStatus::missing;
  // Never blocks (a FIFO opens at once, then fails the regular-file check) and never
  // follows a symbolic link in the last component.
  File file(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  if (file.get() < 0) return errno == ENOENT ? ReadStatus::missing : ReadStatus::failed;
  struct stat info{};
  if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadStatus::failed;
  if (stamp) *stamp = stampOf(info);
  if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > max_bytes) {
    return ReadStatus::tooLarge;
  }
  // One byte more than the limit tells a file that grew past it since fstat.
  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() > max_bytes) {
        bytes.clear();
        return ReadStatus::tooLarge;
      }
      bytes.resize(std::min(bytes.size() * 2, max_bytes + 1));
    }
    const ssize_t got = read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      bytes.clear();
      return ReadStatus::failed;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return ReadStatus::ok;
}

int writeFileAtomically(const char* path, const void* bytes, std::size_t size,
                        unsigned mode) noexcept {
  if (!path || !*path || (!bytes && size > 0)) return EINVAL;
  const char* slash = std::strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  if (!*name || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return EISDIR;
  std::string folder = slash ? std::string(path, static_cast<std::size_t>(slash - path)) : ".";
  if (folder.empty()) folder = "/";
  File dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) return errno;

  const std::string temporary = "." + std::string(name) + "." + std::to_string(getpid()) + ".tmp";
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = openat(dir.get(), temporary.c_str(), flags, mode & 07777);
  if (fd < 0 && errno == EEXIST) {
    // Left by an earlier process with this pid that ended while writing; this process
    // writes one file at a time.
    unlinkat(dir.get(), temporary.c_str(), 0);
    fd = openat(dir.get(), temporary.c_str(), flags, mode & 07777);
  }
  if (fd < 0) return errno;
  int error = 0;
  {
    File file(fd);
    // The creation mode went through the umask; the file gets exactly the bits asked for.
    if (fchmod(file.get(), static_cast<mode_t>(mode & 07777)) != 0) error = errno;
    const char* next = static_cast<const char*>(bytes);
    std::size_t left = size;
    while (!error && left > 0) {
      const ssize_t wrote = write(file.get(), next, left);
      if (wrote < 0) {
        if (errno != EINTR) error = errno;
        continue;
      }
      if (wrote == 0) {
        error = EIO;
        break;
      }
      next += wrote;
      left -= static_cast<std::size_t>(wrote);
    }
  }
  if (!error && renameat(dir.get(), temporary.c_str(), dir.get(), name) != 0) error = errno;
  if (error) unlinkat(dir.get(), temporary.c_str(), 0);
  return error;
}

int makeFolder(const char* path, unsigned mode) noexcept {
  if (!path || !*path) return EINVAL;
  if (mkdir(path, static_cast<mode_t>(mode & 07777)) == 0) {
    // mkdir's mode went through the umask.
    return chmod(path, static_cast<mode_t>(mode & 07777)) == 0 ? 0 : errno;
  }
  if (errno != EEXIST) return errno;
  struct stat info{};
  if (lstat(path, &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

}  // namespace os
