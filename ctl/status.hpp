// What `halvernicctl status` shows, gathered once and rendered twice: as a table for people
// and as one JSON object for scripts. Both renderings walk the same sections and rows, so
// they carry the same facts: a row is one fact with its JSON name and value and the
// table's text for it.
//
// Adding a fact: a row in one of the section functions of status.cpp. Adding a section: a
// function that makes it from the gathered facts (StatusFacts; what a new section needs
// that is not there yet is read in gatherStatusFacts), and one entry in kSections.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "common/objc/ref.hpp"
#include "ctl/json.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/contract/report.hpp"
#include "extension/osthermal/thermal_status_store.hpp"

namespace halvernic::ctl {

struct StatusRow {
  std::string key;    // the member's name in the section's JSON object
  std::string label;  // the table's name for the row
  Json value;
  // How the table shows the value; lines after the first are listed below the row.
  std::string shown;
};

struct StatusSection {
  std::string key;    // the member's name in the JSON object
  std::string title;  // the table's heading
  std::vector<StatusRow> rows;
};

// Everything status reads, once.
struct StatusFacts {
  // The preferences file.
  std::string preferencesPath;  // "" when it cannot be resolved
  enum class File { ok, missing, unreadable } preferencesFile = File::missing;
  std::string preferencesProblem;  // why it is unreadable
  objc::Ref preferences;           // the dictionary when ok

  // The runtime-state word (notify state of its name).
  std::optional<std::uint64_t> runtimeState;  // nothing when notify failed
  std::string runtimeStateProblem;

  // thermalmonitord's processes; nothing when the process table cannot be read.
  std::optional<std::vector<pid_t>> daemonPids;

  // The extension's report.
  std::string reportPath;
  contract::ReportReading report;

  // The OS thermal status store.
  osthermal::ThermalStatusReading store;

  // The overheat protection's state file (root's alone: another user sees only whether it
  // exists).
  std::string overheatStatePath;  // "" when it cannot be resolved
  contract::OverheatStateReading overheatState;
  std::string overheatStateProblem;  // why a file that exists could not be read
};

// Reads the facts from the device (the files below the jailbreak root, notify, the process
// table, the store).
StatusFacts gatherStatusFacts();

std::vector<StatusSection> statusSections(const StatusFacts& facts);

std::string renderStatusTable(const std::vector<StatusSection>& sections);
Json renderStatusJson(const std::vector<StatusSection>& sections);

// A property-list value as JSON: strings, Booleans, integers, reals, arrays and
// dictionaries as themselves; data and dates (and anything else) as a string describing
// them; nil as null.
Json jsonOfPropertyList(id value);

}  // namespace halvernic::ctl
