#include "common/os/write.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace os {
namespace {

class Descriptor {
public:
  explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  void reset(int fd = -1) noexcept {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports whether the close succeeded (a write error may surface here).
  bool closeChecked() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0;
  }

private:
  int fd_;
};

struct Split {
  std::string folder;  // "" for a path without a slash (the current folder)
  std::string name;
};

Split split(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

int openFolder(const std::string& folder) noexcept {
  return open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// A name no one can guess well enough to have taken it first; the exclusive create makes
// a taken one harmless (the next is tried).
std::string temporaryName(const std::string& name, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::uint64_t x = (static_cast<std::uint64_t>(now.tv_nsec) << 20) ^
                    static_cast<std::uint64_t>(now.tv_sec) ^
                    (static_cast<std::uint64_t>(getpid()) << 40) ^
                    (std::uint64_t{++counter} * 0x9E3779B97F4A7C15ull) ^ attempt;
  // splitmix64's finaliser spreads the bits.
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  char suffix[17];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(x));
  return "." + name + "." + suffix;
}

bool writeAll(int fd, std::string_view bytes) noexcept {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Owner and mode of the new file, set on its descriptor.
bool setOwnership(int fd, int folder, const std::string& name,
                  const Ownership& ownership) noexcept {
  struct stat mine{};
  if (fstat(fd, &mine) != 0) return false;
  struct stat old{};
  const bool replaces =
      fstatat(folder, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);

  const uid_t uid =
      ownership.uid ? static_cast<uid_t>(*ownership.uid) : (replaces ? old.st_uid : mine.st_uid);
  const gid_t gid =
      ownership.gid ? static_cast<gid_t>(*ownership.gid) : (replaces ? old.st_gid : mine.st_gid);
  if (uid != mine.st_uid || gid != mine.st_gid) {
    // Asked for: a failure fails the write. Kept from the old file: only where the process
    // may give the file away.
    if (fchown(fd, uid, gid) != 0 && (ownership.uid || ownership.gid)) return false;
  }
  // Set after the owner: a change of owner may clear the set-id bits.
  if (ownership.mode) return fchmod(fd, static_cast<mode_t>(*ownership.mode & 07777)) == 0;
  if (replaces) return fchmod(fd, old.st_mode & 0777) == 0;
  return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes,
                         const Ownership& ownership) {
  const Split parts = split(path);
  if (parts.name.empty() || parts.name == "." || parts.name == "..") return false;
  Descriptor folder(openFolder(parts.folder));
  if (!folder.valid()) return false;

  std::string temporary;
  Descriptor file;
  for (unsigned attempt = 0; attempt < 64 && !file.valid(); ++attempt) {
    temporary = temporaryName(parts.name, attempt);
    file.reset(openat(folder.get(), temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!file.valid() && errno != EEXIST) return false;
  }
  if (!file.valid()) return false;

  const bool written =
      setOwnership(file.get(), folder.get(), parts.name, ownership) &&
      writeAll(file.get(), bytes) && fsync(file.get()) == 0 && file.closeChecked() &&
      renameat(folder.get(), temporary.c_str(), folder.get(), parts.name.c_str()) == 0;
  if (!written) {
    file.reset();
    unlinkat(folder.get(), temporary.c_str(), 0);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  fsync(folder.get());
  return true;
}

bool makeFolders(const std::string& folder, const std::string& base, const Ownership& ownership) {
  std::string root = base;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root.empty()) return false;
  std::string rest;
  if (folder == root) {
    return true;
  } else if (root == "/" && folder.size() > 1 && folder[0] == '/') {
    rest = folder.substr(1);
  } else if (folder.size() > root.size() && folder.compare(0, root.size(), root) == 0 &&
             folder[root.size()] == '/') {
    rest = folder.substr(root.size() + 1);
  } else {
    return false;
  }

  Descriptor current(openFolder(root));
  if (!current.valid()) return false;
  std::size_t start = 0;
  while (start < rest.size()) {
    std::size_t end = rest.find('/', start);
    if (end == std::string::npos) end = rest.size();
    const std::string name = rest.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") return false;

    // A folder that exists is taken as it is, through a link if it is one, as any open by
    // path would; one made here must still be the folder made when it is opened.
    Descriptor next(openat(current.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!next.valid()) {
      if (errno != ENOENT) return false;
      const bool made = mkdirat(current.get(), name.c_str(), 0755) == 0;
      if (!made && errno != EEXIST) return false;
      const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (made ? O_NOFOLLOW : 0);
      next.reset(openat(current.get(), name.c_str(), flags));
      if (!next.valid()) return false;
      if (made) {
        if (ownership.uid || ownership.gid) {
          const uid_t uid =
              ownership.uid ? static_cast<uid_t>(*ownership.uid) : static_cast<uid_t>(-1);
          const gid_t gid =
              ownership.gid ? static_cast<gid_t>(*ownership.gid) : static_cast<gid_t>(-1);
          if (fchown(next.get(), uid, gid) != 0) return false;
        }
        // The umask may have taken bits away.
        if (fchmod(next.get(), 0755) != 0) return false;
      }
    }
    current.reset(next.release());
  }
  return true;
}

bool setAside(const std::string& path, std::string_view suffix) {
  if (entryAt(path) == Entry::none) return false;
  const std::string target = path + std::string(suffix);
  return rename(path.c_str(), target.c_str()) == 0;
}

Entry entryAt(const std::string& path) noexcept {
  struct stat info{};
  if (path.empty() || lstat(path.c_str(), &info) != 0) return Entry::none;
  return S_ISDIR(info.st_mode) ? Entry::folder : Entry::other;
}

}  // namespace os
