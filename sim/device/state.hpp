// The device's state table: what a user and a developer want to see at one glance.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "sim/device/device.hpp"

namespace halvernic::sim::device {

struct Row {
  std::string name, value;
};

// The mode as each reader reads it (the pane, the module, the engine, the replacement
// layer, the file), the daemon's limits, the die's and the battery's temperatures, the
// overheat protection, the OS thermal status switches, launches and re-applications. Values that
// cannot be had say why ("not built", "no daemon").
std::vector<Row> state_table(const Device& device);

// The mode a preferences file holds, read as every reader of the system reads it: "off"
// unless thermalPowerMode is the string "lowPower" or "fullPower"; "(no file)" or
// "(unreadable)" otherwise.
std::string file_mode(const std::string& path);

// The overheat protection's setting in a preferences file, as the engine reads it:
// "thermalOverheatProtectionEnabled on", "... off", or "... absent: on".
std::string protection_setting(const std::string& path);

// The mode the engine last applied, from its log lines in log ("" when none).
std::string engine_mode(const std::string& log);

// How often the engine applied the settings, from its log lines in log.
int engine_applications(const std::string& log);

// The OS thermal status store at store_path, one row per feature the extension's settings
// change ("OS: thermal mitigations" -> "engageBehavior=false
// engageBehaviorPersistentlyEnabled=true", or "(no key: native)"), and one for any other
// key.
std::vector<Row> thermal_status_rows(const std::string& store_path);

// What `halvernicctl status` says on the device (the installed tool, else this build's),
// under a heading that names the program; its error output and status when it fails.
std::string ctl_status(const Device& device);

// Prints rows as an aligned two-column table.
std::string format_table(const std::vector<Row>& rows);

}  // namespace halvernic::sim::device
