// The extension's report: what the extension inside thermalmonitord put in place in its
// process and what it skipped, and why. The extension writes it after its start-up and once
// more after its first application of the settings; halvernicctl reads it.
//
// The file is an XML property list (a binary one reads too) with a dictionary at its root:
//
//   formatVersion  integer  kReportFormatVersion; a reader refuses a larger one
//   version        string   the extension's version ("1.0.0")
//   pid            integer  the process the report describes
//   writtenAt      integer  when it was written, seconds since 1970
//   appliedMode    string   "off", "lowPower" or "fullPower": the mode of the process's first
//                           application; absent until then
//   overheatProtection  dictionary  the overheat protection (contract/overheat.hpp) as the
//                           engine saw it when the report was written:
//     enabled            Boolean  thermalOverheatProtectionEnabled as the engine reads it
//     engaged            Boolean  whether it is engaged
//     batteryTemperature real     the last battery reading, °C; the string "unknown" when
//                                 the extension has not read one (no battery entry, no
//                                 Temperature property, a value of another type)
//     readAt             integer  when that reading was taken, seconds since 1970 (0: none)
//   methods        array    one dictionary per hook and per replacement, in installation order:
//     layer          string   "hook" or "replacement"
//     owner          string   the hook class ("MitigationControllerHook"), or "replacements"
//     class          string   the daemon's class ("MitigationController")
//     selector       string   "setCPULevel:"
//     classMethod    Boolean  true for a class method
//     outcome        string   "installed", "missingClass", "missingMethod" or "typeMismatch"
//     hostTypes      string   typeMismatch only: the daemon's encoding ("q16@0:8")
//     expectedTypes  string   typeMismatch only: the encoding the extension expects ("i@:")
//
// Adding a field: a key here, a member of ExtensionReport, a line in the writer and one in
// the reader (report.cpp). A reader ignores keys it does not know, so a field added is no
// new format; formatVersion grows only when a reader of the old format would misread the
// new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/objc/ref.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::contract {

// ---- where -------------------------------------------------------------------------------
// Paths as the system names them; every reader and writer resolves them below the
// jailbreak root (resolvedReportPath()). The folder is the package's own state folder,
// root's (the extension runs as root); it is made with kReportFolderMode when missing.
inline constexpr char kReportFolder[] = "/var/lib/com.nu-falk.halvernic";
inline constexpr char kReportPath[] = "/var/lib/com.nu-falk.halvernic/report.plist";
inline constexpr unsigned kReportFolderMode = 0755;
inline constexpr unsigned kReportFileMode = 0644;  // root writes, everyone reads

// A report of every hook and replacement is about 20 KB; a larger file is not read.
inline constexpr std::size_t kMaxReportFileSize = std::size_t{256} * 1024;

// The report's path below the jailbreak root; "" when it cannot be resolved.
std::string resolvedReportPath();

// ---- keys ----------------------------------------------------------------------------------
inline constexpr int kReportFormatVersion = 1;

inline constexpr char kReportFormatVersionKey[] = "formatVersion";
inline constexpr char kReportVersionKey[] = "version";
inline constexpr char kReportPidKey[] = "pid";
inline constexpr char kReportWrittenAtKey[] = "writtenAt";
inline constexpr char kReportAppliedModeKey[] = "appliedMode";
inline constexpr char kReportMethodsKey[] = "methods";

inline constexpr char kReportLayerKey[] = "layer";
inline constexpr char kReportOwnerKey[] = "owner";
inline constexpr char kReportClassKey[] = "class";
inline constexpr char kReportSelectorKey[] = "selector";
inline constexpr char kReportClassMethodKey[] = "classMethod";
inline constexpr char kReportOutcomeKey[] = "outcome";
inline constexpr char kReportHostTypesKey[] = "hostTypes";
inline constexpr char kReportExpectedTypesKey[] = "expectedTypes";

// The overheat protection's dictionary and its keys.
inline constexpr char kReportOverheatKey[] = "overheatProtection";
inline constexpr char kReportOverheatEnabledKey[] = "enabled";
inline constexpr char kReportOverheatEngagedKey[] = "engaged";
inline constexpr char kReportBatteryTemperatureKey[] = "batteryTemperature";
inline constexpr char kReportReadAtKey[] = "readAt";
inline constexpr char kReportUnknownReading[] = "unknown";

// ---- the report ------------------------------------------------------------------------------
enum class ReportLayer { hook, replacement };
const char* reportLayerValue(ReportLayer layer) noexcept;  // "hook", "replacement"

enum class InstallOutcome { installed, missingClass, missingMethod, typeMismatch, unknown };
// "installed", "missingClass", "missingMethod", "typeMismatch"; "unknown" for an outcome
// a newer writer named that this reader does not know.
const char* installOutcomeValue(InstallOutcome outcome) noexcept;

// One hook or replacement and what became of it.
struct ReportedMethod {
  ReportLayer layer = ReportLayer::hook;
  std::string owner;      // "MitigationControllerHook"; "replacements" for the replacement layer
  std::string className;  // "MitigationController"
  std::string selector;   // "setCPULevel:"
  bool classMethod = false;
  InstallOutcome outcome = InstallOutcome::installed;
  std::string hostTypes;      // typeMismatch: the daemon's encoding
  std::string expectedTypes;  // typeMismatch: the extension's

  // "-[MitigationController setCPULevel:]", "+[NSDictionary dictionaryWithContentsOfFile:]".
  std::string method() const;
  bool operator==(const ReportedMethod&) const = default;
};

// The overheat protection when the report was written.
struct OverheatReport {
  bool enabled = true;
  bool engaged = false;
  std::optional<int> batteryCentiCelsius;  // the last reading; none: unknown
  std::int64_t readAt = 0;                 // seconds since 1970; 0 without a reading
  bool operator==(const OverheatReport&) const = default;
};

struct ExtensionReport {
  int formatVersion = kReportFormatVersion;
  std::string version;  // projectVersion() when the extension writes it
  std::int64_t pid = 0;
  std::int64_t writtenAt = 0;  // seconds since 1970
  std::optional<PowerMode> appliedMode;
  std::optional<OverheatReport> overheat;  // absent in reports of versions without it
  std::vector<ReportedMethod> methods;

  // How many methods of a layer (of any layer when none is given) had this outcome.
  std::size_t count(InstallOutcome outcome, std::optional<ReportLayer> layer = {}) const;
  bool operator==(const ExtensionReport&) const = default;
};

// The project's version, as every binary of it carries it ("1.0.0").
const char* projectVersion() noexcept;

// ---- writing (the extension) ------------------------------------------------------------------
// The report as the property list above (owned).
objc::Ref reportPropertyList(const ExtensionReport& report);

// Writes the report to path atomically (a reader sees the previous report or this one,
// never a part of either), mode kReportFileMode, making its folder (not the folder's
// parents) when missing. Answers 0 or the errno of the step that failed; a report that
// cannot be written changes nothing else.
int writeExtensionReport(std::string_view path, const ExtensionReport& report);

// Writes bytes atomically as the file at path in the package's state folder, with exactly the
// given permission bits, making the folder (kReportFolderMode) when it is missing. Answers 0,
// or the errno of the step that failed (EINVAL for a path that names no file).
int writeStateFile(std::string_view path, std::string_view bytes, unsigned mode);

// ---- reading (the tool) ---------------------------------------------------------------------
struct ReportReading {
  enum class Status {
    ok,
    missing,            // no file (or no folder): the extension has not written one, or may
                        // not write it
    unreadable,         // the file cannot be read, or is above kMaxReportFileSize
    damaged,            // not a property list, or without a required field
    unsupportedFormat,  // a formatVersion this reader does not know
  };
  Status status = Status::missing;
  std::string problem;     // what is wrong when not ok ("not a property list")
  ExtensionReport report;  // when ok

  bool ok() const noexcept { return status == Status::ok; }
};

// Reads the report at path (with one bounded read). Required: a dictionary root, an integer
// formatVersion the reader knows, a positive integer pid, and a methods array whose entries
// each have a known layer and string class, selector and outcome; everything else is
// optional and unknown keys are ignored. Never raises.
ReportReading readExtensionReport(std::string_view path);

}  // namespace halvernic::contract
