// What the libFuzzer targets share: the Foundation attached once, a scratch folder of the
// process's own (also the device root the engine's paths resolve below), and writing one
// input as a file there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hv_fuzz {

// Attaches the calling thread to the Foundation (once) and makes the scratch folder,
// exported as HALVERNIC_DEVICE_ROOT before anything resolves a path.
void set_up();

// The scratch folder (set_up() first).
const std::string& scratch();

// Writes bytes to path (replacing the file), creating its folder. Answers false on failure.
bool write_file(const std::string& path, const std::uint8_t* bytes, std::size_t size);

// Stops the process the way libFuzzer records a finding, after printing why.
[[noreturn]] void fail(const char* what);

// NSLog lines are dropped from here on (for targets that drive code logging on every
// input; the readers' own silence is checked by the targets that log nothing).
void discard_log_lines();

}  // namespace hv_fuzz
