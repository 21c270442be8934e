// The process table of Darwin: the kernel's, through sysctl.
#include "common/os/process.hpp"

#include <sys/param.h>
#include <sys/proc.h>
#include <sys/sysctl.h>

#include <cerrno>
#include <cstring>

namespace os {

std::optional<std::vector<pid_t>> processesNamed(std::string_view name) {
  int query[] = {CTL_KERN, KERN_PROC, KERN_PROC_ALL, 0};
  const std::string_view kept = name.substr(0, MAXCOMLEN);
  // Processes started between asking for the size and reading the table make it larger:
  // a few tries with room to spare.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::size_t size = 0;
    if (sysctl(query, 4, nullptr, &size, nullptr, 0) != 0) return std::nullopt;
    std::vector<kinfo_proc> table(size / sizeof(kinfo_proc) + size / sizeof(kinfo_proc) / 8 + 16);
    size = table.size() * sizeof(kinfo_proc);
    if (sysctl(query, 4, table.data(), &size, nullptr, 0) != 0) {
      if (errno == ENOMEM) continue;
      return std::nullopt;
    }
    table.resize(size / sizeof(kinfo_proc));
    std::vector<pid_t> found;
    for (const kinfo_proc& entry : table) {
      const extern_proc& process = entry.kp_proc;
      if (process.p_stat == SZOMB || process.p_pid <= 0) continue;
      const std::string_view command(process.p_comm,
                                     strnlen(process.p_comm, sizeof process.p_comm));
      if (command == kept) found.push_back(process.p_pid);
    }
    return found;
  }
  return std::nullopt;
}

}  // namespace os
