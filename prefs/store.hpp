// The pane's side of the preferences file and of the notifications that announce a change.
//
// Every row reads its value straight from the file, every change is written straight back
// (a whole-file read-modify-write through the contract) and then announced: the runtime-state
// word, "com.nu-falk.halvernic-executePuppetEvent" for a key beginning with "thermal", and
// "com.nu-falk.halvernic-restartThermalMonitor" after a change of the CPU mode.
//
// Everything here runs on the host's main thread; the two process-wide values (the file's
// path and the notification sender) are made once under a once-only guard.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/objc/ref.hpp"
#include "common/objc/runtime.hpp"

namespace halvernic::prefs {

// The CPU mode's key and the mode table: a value and its title share an index, which is also
// the menu row's tag.
inline constexpr char kCPUModeKey[] = "thermalPowerMode";
inline constexpr std::array<const char*, 3> kCPUModeValues = {"off", "lowPower", "fullPower"};
inline constexpr std::array<const char*, 3> kCPUModeTitles = {"苹果原生温控", "模拟低电频率",
                                                               "防止温控降频"};

// The resolved path of the preferences file, computed once per process ("" when it cannot be
// resolved, which reads as a missing file).
const std::string& preferences_file_path();

// A row's value: the object stored under the row's "key" (read from the file afresh), else
// the row's "default", else nil. properties is the specifier's properties dictionary.
objc::Ref row_value(id properties);

// "off", "lowPower" or "fullPower": the stored mode when it is one of the three strings,
// "off" in every other case.
const char* current_cpu_mode_value();

// One change: value stored under key, the seven mode-reset keys dropped, the file written
// back atomically (a failed write is ignored), then the announcements for the key.
void write_preference_value(id value, std::string_view key);

// The one object every Darwin post of the pane names as its sender.
id notification_helper();

}  // namespace halvernic::prefs

// Publishes the runtime-state word: the magic in bits 63-32, (first & 0xFF) in bits 15-8 and
// (second & 0xFF) in bits 7-0. Returns the notify status of the last step that ran, 0 on
// success. The only function the bundle exports.
extern "C" __attribute__((visibility("default"))) std::uint32_t halvernicPrefsPostRuntimeState(
    int first, int second);
