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
const std::string& preferencesFilePath();

// A row's value: the object stored under the row's "key" (read from the file afresh), else
// the row's "default", else nil. properties is the specifier's properties dictionary.
objc::Ref rowValue(id properties);

// The file's mode value from the contract's mode table, as every reader normalises it
// (contract::powerModeOf).
const char* currentCpuModeValue();

// One change, written through contract::writePreferenceValue (a failed write is ignored);
// then, for a key beginning with "thermal", the runtime-state word published
// (halvernicPrefsPostRuntimeState) and the re-apply notification posted, and for the CPU
// mode's key the restart notification last.
void writePreferenceValue(id value, std::string_view key);

// The one object every Darwin post of the pane names as its sender.
id notificationHelper();

}  // namespace halvernic::prefs

// Publishes the runtime-state word with first and second as its two values (their low 8
// bits), through contract::publishRuntimeState. Returns the notify status of the step
// that failed, 0 on success. The only function the bundle exports.
extern "C" __attribute__((visibility("default"))) std::uint32_t
halvernicPrefsPostRuntimeState(int first, int second);
