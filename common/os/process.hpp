// The processes that run a program, found by its name in the system's process table.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string_view>
#include <vector>

namespace os {

// The processes running the program whose file name is name, as the system keeps a
// process's name (its first 16 characters on Darwin, 15 on Linux), zombies left out, in no
// particular order. Nothing when the table cannot be read.
//
// Darwin reads the kernel's table (sysctl KERN_PROC_ALL). On Linux the table is the
// simulated device's: the processes in /proc whose environment names the same device root
// as this process's (HALVERNIC_DEVICE_ROOT, which every process of a device carries);
// without one, every process of the machine.
std::optional<std::vector<pid_t>> processesNamed(std::string_view name);

}  // namespace os
