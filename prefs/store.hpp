// The pane's side of the preferences file and of the notifications that announce a change.
//
// Every row reads its value straight from the file, every change is written straight back
// (a whole-file read-modify-write through the contract) and then announced (below).
//
// Everything here runs on the host's main thread; the two process-wide values (the file's
// path and the notification sender) are made once under a once-only guard.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/objc/ref.hpp"
#include "common/objc/runtime.hpp"

namespace halvernic::prefs {

// The resolved path of the preferences file, computed once per process ("" when it cannot be
// resolved, which reads as a missing file).
const std::string& preferences_file_path();

// A row's value: the object stored under the row's "key" (read from the file afresh), else
// the row's "default", else nil. properties is the specifier's properties dictionary.
objc::Ref row_value(id properties);

// The stored CPU mode's value from the contract's mode table, as every reader normalises it.
const char* current_cpu_mode_value();

// One change: value stored under key, the seven mode-reset keys dropped, the file written
// back atomically (a failed write is ignored); then, for a key beginning with "thermal", the
// runtime-state word published (halvernicPrefsPostRuntimeState) and the re-apply notification
// posted, and for the CPU mode's key the restart notification last.
void write_preference_value(id value, std::string_view key);

// The one object every Darwin post of the pane names as its sender.
id notification_helper();

}  // namespace halvernic::prefs

// Publishes the runtime-state word: the magic in bits 63-32, (first & 0xFF) in bits 15-8 and
// (second & 0xFF) in bits 7-0. Returns the notify status of the step that failed, 0 on
// success (a state that could not be set is not posted). The only function the bundle
// exports.
extern "C" __attribute__((visibility("default"))) std::uint32_t halvernicPrefsPostRuntimeState(
    int first, int second);
