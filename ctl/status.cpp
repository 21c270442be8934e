// status [--json]: the preferences file, the runtime-state word, thermalmonitord and the
// extension in it, and the OS thermal status store, for people or for scripts.
#include "ctl/status.hpp"

#include <notify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

#include "common/objc/foundation.hpp"
#include "common/objc/runtime.hpp"
#include "common/os/process.hpp"
#include "ctl/commands.hpp"
#include "ctl/switches.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/osthermal/platform_reset.hpp"
#include "extension/startup/initialisers.hpp"

namespace halvernic::ctl {

namespace {

constexpr int kMaxJsonDepth = 64;  // deeper property lists are cut (the readers refuse them)

std::string hexWord(std::uint64_t word) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016" PRIX64, word);
  return text;
}

std::string utcTime(std::int64_t seconds) {
  const auto time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  if (!gmtime_r(&time, &parts)) return std::to_string(seconds);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

Json stringOrNull(const std::string& text) { return text.empty() ? Json() : Json::string(text); }

// A value as the table shows it: strings quoted, the rest as JSON writes it.
std::string shownValue(const Json& value) {
  switch (value.kind()) {
    case Json::Kind::object:
      return "(a dictionary of " + std::to_string(value.members().size()) + ")";
    case Json::Kind::array: return "(a list of " + std::to_string(value.items().size()) + ")";
    default: return value.dump();
  }
}

// text and at least one space, to width columns.
std::string padded(const std::string& text, std::size_t width) {
  return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// ---- gathering -------------------------------------------------------------------------------

void readPreferences(StatusFacts& facts) {
  using File = StatusFacts::File;
  facts.preferencesPath = contract::resolvedPreferencesPath();
  const std::string& path = facts.preferencesPath;
  if (path.empty()) {
    facts.preferencesFile = File::unreadable;
    facts.preferencesProblem = "its path cannot be resolved below the jailbreak root";
    return;
  }
  struct stat info{};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) {
      facts.preferencesFile = File::missing;
    } else {
      facts.preferencesFile = File::unreadable;
      facts.preferencesProblem = std::strerror(errno);
    }
    return;
  }
  objc::Ref plist = contract::readPreferencesPropertyList(path);
  if (objc::isDictionary(plist.get())) {
    facts.preferencesFile = File::ok;
    facts.preferences = plist;
    return;
  }
  facts.preferencesFile = File::unreadable;
  if (plist) {
    facts.preferencesProblem = "its root is not a dictionary";
  } else if (S_ISLNK(info.st_mode)) {
    facts.preferencesProblem = "a symbolic link (no reader follows one)";
  } else if (!S_ISREG(info.st_mode)) {
    facts.preferencesProblem = "not a regular file";
  } else if (static_cast<std::uint64_t>(info.st_size) > contract::kMaxPreferencesFileSize) {
    facts.preferencesProblem =
        "larger than " + std::to_string(contract::kMaxPreferencesFileSize / 1024 / 1024) + " MiB";
  } else if (::access(path.c_str(), R_OK) != 0) {
    facts.preferencesProblem = std::strerror(errno);
  } else {
    facts.preferencesProblem = "not a property list the readers take";
  }
}

void readOverheatState(StatusFacts& facts) {
  facts.overheatStatePath = contract::resolvedOverheatStatePath();
  const std::string& path = facts.overheatStatePath;
  if (path.empty()) return;
  struct stat info{};
  if (::lstat(path.c_str(), &info) != 0) {
    // No file (or no folder for it): released. Anything else leaves the state unknown.
    if (errno != ENOENT && errno != ENOTDIR) facts.overheatStateProblem = std::strerror(errno);
    return;
  }
  // The extension takes a file it cannot read as engaged; so does this tool.
  if (::access(path.c_str(), R_OK) != 0) {
    facts.overheatState.status = contract::OverheatStateReading::Status::damaged;
    facts.overheatStateProblem = std::strerror(errno);
    return;
  }
  facts.overheatState = contract::readOverheatState(path);
  if (facts.overheatState.status == contract::OverheatStateReading::Status::damaged) {
    facts.overheatStateProblem = "it holds no state";
  }
}

void readRuntimeState(StatusFacts& facts) {
  int token = 0;
  const std::uint32_t registered =
      notify_register_check(contract::kRuntimeStateNotification, &token);
  if (registered != NOTIFY_STATUS_OK) {
    facts.runtimeStateProblem =
        "notify registration failed (status " + std::to_string(registered) + ")";
    return;
  }
  std::uint64_t word = 0;
  const std::uint32_t read = notify_get_state(token, &word);
  notify_cancel(token);
  if (read != NOTIFY_STATUS_OK) {
    facts.runtimeStateProblem =
        "reading the notify state failed (status " + std::to_string(read) + ")";
    return;
  }
  facts.runtimeState = word;
}

// ---- the sections ------------------------------------------------------------------------------

StatusSection preferencesSection(const StatusFacts& facts) {
  using File = StatusFacts::File;
  StatusSection section{"preferences", "Preferences", {}};
  const char* state = facts.preferencesFile == File::ok        ? "ok"
                      : facts.preferencesFile == File::missing ? "missing"
                                                               : "unreadable";
  std::string shownFile = facts.preferencesPath.empty() ? "(no path)" : facts.preferencesPath;
  if (facts.preferencesFile == File::missing) shownFile += " (no file: every key is absent)";
  if (facts.preferencesFile == File::unreadable) {
    shownFile +=
        " (unreadable: " + facts.preferencesProblem + "; read as if every key were absent)";
  }
  section.rows.push_back({"path", "file", stringOrNull(facts.preferencesPath), shownFile});
  section.rows.push_back({"file", "", Json::string(state), ""});
  section.rows.push_back({"problem", "", stringOrNull(facts.preferencesProblem), ""});

  objc::AutoreleasePool pool;
  id stored = objc::dictionaryGet(facts.preferences.get(), contract::kPowerModeKey);
  const contract::PowerMode mode = contract::normalizePowerMode(stored);
  const std::string value = contract::powerModeValue(mode);
  std::string shown = value;
  if (!stored) {
    shown += " (not set)";
  } else if (!objc::isString(stored) || !objc::stringEquals(stored, value)) {
    shown += " (stored: " + shownValue(jsonOfPropertyList(stored)) + ", which is no mode)";
  }
  section.rows.push_back({"mode", contract::kPowerModeKey, Json::string(value), shown});
  section.rows.push_back({"storedMode", "", jsonOfPropertyList(stored), ""});
  return section;
}

StatusSection switchesSection(const StatusFacts& facts) {
  StatusSection section{"switches", "Switches", {}};
  objc::AutoreleasePool pool;
  for (const Switch& entry : kSwitches) {
    id stored = objc::dictionaryGet(facts.preferences.get(), entry.key);
    // As the engine reads it: a Boolean, a number, or one of its true words.
    const std::optional<bool> read = contract::engineBoolValue(stored);
    const std::optional<bool> on = read ? read : entry.whenAbsent;
    std::string shown;
    if (read) {
      shown = std::string(*read ? "on" : "off") +
              " (stored: " + shownValue(jsonOfPropertyList(stored)) + ")";
    } else {
      shown = stored ? "not set (stored: " + shownValue(jsonOfPropertyList(stored)) +
                           ", which is no switch value)"
                     : "not set";
      shown += entry.whenAbsent ? std::string(": ") + (*entry.whenAbsent ? "on" : "off")
                                : ": the platform's setting is left as it is";
    }
    Json value = Json::object();
    value.set("stored", jsonOfPropertyList(stored));
    value.set("on", on ? Json::boolean(*on) : Json());
    section.rows.push_back({entry.key, entry.key, std::move(value), shown});
  }
  return section;
}

StatusSection runtimeStateSection(const StatusFacts& facts) {
  StatusSection section{"runtimeState", "Runtime state", {}};
  if (!facts.runtimeState) {
    section.rows.push_back({"word", "word", Json(), "unknown: " + facts.runtimeStateProblem});
    section.rows.push_back({"published", "", Json(), ""});
    section.rows.push_back({"first", "", Json(), ""});
    section.rows.push_back({"second", "", Json(), ""});
    section.rows.push_back({"problem", "", Json::string(facts.runtimeStateProblem), ""});
    return section;
  }
  const std::uint64_t word = *facts.runtimeState;
  const bool published = contract::runtimeStateHasMagic(word);
  const contract::RuntimeStateValues values = contract::decodeRuntimeState(word);
  std::string shown = hexWord(word);
  shown += published ? " (HALV, values " + std::to_string(values.first) + " and " +
                           std::to_string(values.second) + ")"
                     : " (not published since the notify service started: no HALV)";
  section.rows.push_back({"word", "word", Json::string(hexWord(word)), shown});
  section.rows.push_back({"published", "", Json::boolean(published), ""});
  section.rows.push_back({"first", "", published ? Json::integer(values.first) : Json(), ""});
  section.rows.push_back({"second", "", published ? Json::integer(values.second) : Json(), ""});
  section.rows.push_back({"problem", "", Json(), ""});
  return section;
}

StatusSection daemonSection(const StatusFacts& facts) {
  StatusSection section{
      std::string(startup::kHostProcessName), std::string(startup::kHostProcessName), {}};
  const auto& pids = facts.daemonPids;
  Json list = Json::array();
  std::string running;
  if (!pids) {
    running = "unknown: the process table cannot be read";
  } else if (pids->empty()) {
    running = "no";
  } else {
    running = "yes, pid";
    if (pids->size() > 1) running += "s";
    for (std::size_t i = 0; i < pids->size(); ++i) {
      running += (i ? ", " : " ") + std::to_string((*pids)[i]);
      list.add(Json::integer((*pids)[i]));
    }
  }
  section.rows.push_back(
      {"running", "running", pids ? Json::boolean(!pids->empty()) : Json(), running});
  section.rows.push_back({"pids", "", pids ? std::move(list) : Json(), ""});

  // Loaded: the report names a process that runs now.
  Json loaded;
  std::string shown;
  const bool haveReport = facts.report.ok();
  const std::int64_t reportPid = haveReport ? facts.report.report.pid : 0;
  if (pids && pids->empty()) {
    loaded = Json::boolean(false);
    shown = "no: " + std::string(startup::kHostProcessName) + " is not running";
  } else if (!haveReport) {
    shown = "unknown: no report";
  } else if (!pids) {
    shown = "unknown: the report names pid " + std::to_string(reportPid) +
            ", and the process table cannot be read";
  } else if (std::find(pids->begin(), pids->end(), static_cast<pid_t>(reportPid)) != pids->end()) {
    loaded = Json::boolean(true);
    shown = "yes, in pid " + std::to_string(reportPid);
  } else {
    loaded = Json::boolean(false);
    shown = "no: the report is of pid " + std::to_string(reportPid) +
            ", which has ended (the running daemon wrote none)";
  }
  section.rows.push_back({"extensionLoaded", "extension loaded", std::move(loaded), shown});
  return section;
}

const char* reportStatusValue(contract::ReportReading::Status status) {
  using S = contract::ReportReading::Status;
  switch (status) {
    case S::ok: return "ok";
    case S::missing: return "missing";
    case S::unreadable: return "unreadable";
    case S::damaged: return "damaged";
    case S::unsupportedFormat: return "unsupportedFormat";
  }
  return "unknown";
}

// Why a method was skipped, for people.
std::string skipReason(const contract::ReportedMethod& method) {
  switch (method.outcome) {
    case contract::InstallOutcome::missingClass: return "no class " + method.className;
    case contract::InstallOutcome::missingMethod: return "no such method";
    case contract::InstallOutcome::typeMismatch:
      return "other types: host " + method.hostTypes + ", expected " + method.expectedTypes;
    case contract::InstallOutcome::unknown: return "an outcome this tool does not know";
    case contract::InstallOutcome::installed: break;
  }
  return "";
}

Json methodJson(const contract::ReportedMethod& method) {
  const bool mismatch = method.outcome == contract::InstallOutcome::typeMismatch;
  Json entry = Json::object();
  entry.set(contract::kReportLayerKey, Json::string(contract::reportLayerValue(method.layer)));
  entry.set(contract::kReportOwnerKey, Json::string(method.owner));
  entry.set(contract::kReportClassKey, Json::string(method.className));
  entry.set(contract::kReportSelectorKey, Json::string(method.selector));
  entry.set(contract::kReportClassMethodKey, Json::boolean(method.classMethod));
  entry.set(contract::kReportOutcomeKey,
            Json::string(contract::installOutcomeValue(method.outcome)));
  entry.set(contract::kReportHostTypesKey, mismatch ? Json::string(method.hostTypes) : Json());
  entry.set(contract::kReportExpectedTypesKey,
            mismatch ? Json::string(method.expectedTypes) : Json());
  return entry;
}

// The report's methods three ways: as JSON, one line each for the listing, and the ones not
// installed, each with why.
struct MethodListing {
  Json methods = Json::array();
  std::string listed;
  std::string skipped;
  std::size_t skips = 0;
};

MethodListing listMethods(const std::vector<contract::ReportedMethod>& methods) {
  MethodListing listing;
  for (const contract::ReportedMethod& method : methods) {
    listing.methods.add(methodJson(method));
    // One line each, whatever the report's names hold.
    const std::string layer = contract::reportLayerValue(method.layer);
    const std::string name = printable(method.method());
    listing.listed.append("\n")
        .append(padded(contract::installOutcomeValue(method.outcome), 14))
        .append(padded(layer, 13))
        .append(name);
    if (method.layer == contract::ReportLayer::hook) {
      listing.listed += " (" + printable(method.owner) + ")";
    }
    if (method.outcome == contract::InstallOutcome::installed) continue;
    ++listing.skips;
    listing.skipped.append("\n")
        .append(name)
        .append(" (")
        .append(layer)
        .append(", ")
        .append(printable(method.owner))
        .append("): ")
        .append(printable(skipReason(method)));
  }
  return listing;
}

StatusSection extensionSection(const StatusFacts& facts) {
  StatusSection section{"extension", "Extension (its report)", {}};
  const contract::ReportReading& reading = facts.report;
  std::string state = "ok";
  if (!reading.ok()) {
    state = "no report";
    if (reading.status != contract::ReportReading::Status::missing) {
      state += " (" + std::string(reportStatusValue(reading.status)) + ": " + reading.problem + ")";
    }
  }
  section.rows.push_back(
      {"report", "report", Json::string(reportStatusValue(reading.status)), state});
  section.rows.push_back({"reportPath", "report file", stringOrNull(facts.reportPath),
                          facts.reportPath.empty() ? "(no path)" : facts.reportPath});
  section.rows.push_back(
      {"problem", "", reading.ok() ? Json() : stringOrNull(reading.problem), ""});

  const contract::ExtensionReport* report = reading.ok() ? &reading.report : nullptr;
  auto add = [&](const char* key, const char* label, Json value, std::string shown) {
    section.rows.push_back({key, label, report ? std::move(value) : Json(),
                            report ? std::move(shown) : std::string()});
  };
  const contract::ExtensionReport empty;
  const contract::ExtensionReport& r = report ? *report : empty;
  add(contract::kReportVersionKey, "version", Json::string(r.version),
      r.version.empty() ? "(not given)" : r.version);
  add(contract::kReportPidKey, "of pid", Json::integer(r.pid), std::to_string(r.pid));
  add(contract::kReportWrittenAtKey, "written", Json::integer(r.writtenAt), utcTime(r.writtenAt));
  add(contract::kReportAppliedModeKey, "applied mode",
      r.appliedMode ? Json::string(contract::powerModeValue(*r.appliedMode)) : Json(),
      r.appliedMode ? std::string(contract::powerModeValue(*r.appliedMode)) +
                          " (at the process's first application)"
                    : "(no application yet)");

  const std::size_t installed = r.count(contract::InstallOutcome::installed);
  const std::size_t hooks =
      r.count(contract::InstallOutcome::installed, contract::ReportLayer::hook);
  add("installed", "installed", Json::integer(static_cast<std::int64_t>(installed)),
      std::to_string(installed) + " of " + std::to_string(r.methods.size()) + " (" +
          plural(hooks, "hook", "hooks") + ", " +
          plural(installed - hooks, "replacement", "replacements") + ")");

  MethodListing listing = listMethods(r.methods);
  add("skipped", "skipped", Json::integer(static_cast<std::int64_t>(listing.skips)),
      listing.skips ? std::to_string(listing.skips) + listing.skipped : std::string("none"));
  add(contract::kReportMethodsKey, "methods", std::move(listing.methods),
      std::to_string(r.methods.size()) + listing.listed);
  return section;
}

StatusSection storeSection(const StatusFacts& facts) {
  StatusSection section{"thermalStatusStore",
                        std::string("OS thermal status store (") +
                            osthermal::kThermalStatusIdentifier + ")",
                        {}};
  const osthermal::ThermalStatusReading& store = facts.store;
  section.rows.push_back({"readable", "readable", Json::boolean(store.ok()),
                          store.ok() ? "yes" : "no: " + store.problem});
  section.rows.push_back({"problem", "", store.ok() ? Json() : Json::string(store.problem), ""});
  objc::AutoreleasePool pool;
  std::set<std::string> known;
  for (const osthermal::ThermalStatusFeature& feature : osthermal::kThermalStatusFeatures) {
    for (const char* key : {feature.flagKey, feature.persistenceKey}) {
      if (!key) continue;
      known.insert(key);
      id value = objc::dictionaryGet(store.values.get(), key);
      const Json json = jsonOfPropertyList(value);
      section.rows.push_back({key, key, json,
                              !store.ok() ? "unknown"
                              : value     ? shownValue(json)
                                          : "absent (the platform's own)"});
    }
  }
  Json others = Json::object();
  std::string shown;
  objc::forEachEntry(store.values.get(), [&](id key, id value) {
    const std::string name = objc::toString(key);
    if (known.count(name)) return true;
    const Json json = jsonOfPropertyList(value);
    shown += (shown.empty() ? "" : ", ") + printable(name) + " = " + shownValue(json);
    others.set(name, json);
    return true;
  });
  section.rows.push_back({"otherKeys", "other keys", store.ok() ? std::move(others) : Json(),
                          !store.ok()     ? "unknown"
                          : shown.empty() ? "none"
                                          : shown});
  return section;
}

// The overheat protection's setting as the extension reads it: on unless set off.
bool addOverheatSetting(StatusSection& section, const StatusFacts& facts) {
  id stored = objc::dictionaryGet(facts.preferences.get(), contract::kOverheatProtectionKey);
  const std::optional<bool> read = contract::engineBoolValue(stored);
  const bool enabled = read.value_or(contract::kOverheatProtectionDefault);
  std::string shown = enabled ? "on" : "off";
  if (read) {
    shown += " (stored: " + shownValue(jsonOfPropertyList(stored)) + ")";
  } else {
    shown += stored ? " (stored: " + shownValue(jsonOfPropertyList(stored)) +
                          ", which is no switch value: on unless set off)"
                    : " (not set: on unless set off)";
  }
  section.rows.push_back(
      {"enabled", contract::kOverheatProtectionKey, Json::boolean(enabled), shown});
  return enabled;
}

// What it guards: fullPower and prevent-dimming, as the file asks for them.
void addOverheatGuarded(StatusSection& section, const StatusFacts& facts, bool enabled) {
  const bool fullPower =
      contract::normalizePowerMode(objc::dictionaryGet(
          facts.preferences.get(), contract::kPowerModeKey)) == contract::PowerMode::fullPower;
  const bool dimming =
      contract::engineBoolPreference(facts.preferences.get(), contract::kPreventDimmingKey, false);
  std::string guarded;
  if (!enabled) {
    guarded = "nothing: it is off";
  } else if (!fullPower && !dimming) {
    guarded = "nothing: neither fullPower nor " + std::string(contract::kPreventDimmingKey) +
              " is chosen";
  } else {
    guarded = fullPower ? "fullPower" : "";
    if (dimming) guarded += (fullPower ? " and " : "") + std::string(contract::kPreventDimmingKey);
    guarded += " (from " + contract::celsiusText(contract::kOverheatEngageCentiCelsius) +
               " C until " + contract::celsiusText(contract::kOverheatReleaseCentiCelsius) +
               " C, at least " + std::to_string(contract::kOverheatMinimumEngagedSeconds) + " s)";
  }
  section.rows.push_back(
      {"guarding", "guards", Json::boolean(enabled && (fullPower || dimming)), guarded});
}

// Engaged while its state file exists; since when and at which temperature as it holds them.
void addOverheatEngaged(StatusSection& section, const StatusFacts& facts) {
  using State = contract::OverheatStateReading::Status;
  const contract::OverheatStateReading& state = facts.overheatState;
  const bool known = !facts.overheatStatePath.empty() &&
                     (state.status != State::released || facts.overheatStateProblem.empty());
  const bool engaged = state.status != State::released;
  const bool detailed = state.status == State::engaged;
  std::string engagedShown;
  if (!known) {
    engagedShown = "unknown: " + (facts.overheatStatePath.empty()
                                      ? std::string("its state file's path cannot be resolved")
                                      : "its state file: " + facts.overheatStateProblem);
  } else if (!engaged) {
    engagedShown = "no";
  } else if (detailed) {
    engagedShown = "yes, since ";
    engagedShown += state.state.engagedAtWall ? utcTime(state.state.engagedAtWall)
                                              : std::string("(a time not kept)");
    engagedShown += " (battery " + contract::celsiusText(state.state.readingCentiCelsius) + " C)";
  } else {
    engagedShown = "yes (its state file: " + facts.overheatStateProblem +
                   "; the extension takes such a file as engaged)";
  }
  section.rows.push_back(
      {"engaged", "engaged", known ? Json::boolean(engaged) : Json(), engagedShown});
  section.rows.push_back(
      {"engagedAt", "",
       detailed && state.state.engagedAtWall ? Json::integer(state.state.engagedAtWall) : Json(),
       ""});
  section.rows.push_back({"engagedAtTemperature", "",
                          detailed ? Json::real(state.state.readingCentiCelsius / 100.0) : Json(),
                          ""});
  section.rows.push_back({"stateFile", "state file", stringOrNull(facts.overheatStatePath),
                          facts.overheatStatePath.empty() ? "(no path)" : facts.overheatStatePath});
  section.rows.push_back({"stateProblem", "", stringOrNull(facts.overheatStateProblem), ""});
}

// The last battery reading, from the extension's report.
void addOverheatLastReading(StatusSection& section, const StatusFacts& facts) {
  const contract::ReportReading& report = facts.report;
  const contract::OverheatReport* overheat =
      report.ok() && report.report.overheat ? &*report.report.overheat : nullptr;
  const bool reading = overheat && overheat->batteryCentiCelsius;
  std::string readingShown;
  if (!report.ok()) {
    readingShown = "unknown: no report";
  } else if (!overheat) {
    readingShown = "unknown: the report does not carry it";
  } else if (!reading) {
    readingShown = "unknown: the extension has read none (no battery entry or no temperature)";
  } else {
    readingShown = contract::celsiusText(*overheat->batteryCentiCelsius) + " C";
    if (overheat->readAt) readingShown += " at " + utcTime(overheat->readAt);
    readingShown += " (the extension's report)";
  }
  section.rows.push_back({"batteryTemperature", "last reading",
                          reading ? Json::real(*overheat->batteryCentiCelsius / 100.0) : Json(),
                          readingShown});
  section.rows.push_back(
      {"readAt", "", reading && overheat->readAt ? Json::integer(overheat->readAt) : Json(), ""});
}

StatusSection overheatSection(const StatusFacts& facts) {
  StatusSection section{"overheatProtection", "Overheat protection", {}};
  objc::AutoreleasePool pool;
  const bool enabled = addOverheatSetting(section, facts);
  addOverheatGuarded(section, facts, enabled);
  addOverheatEngaged(section, facts);
  addOverheatLastReading(section, facts);
  return section;
}

using SectionFunction = StatusSection (*)(const StatusFacts&);

constexpr SectionFunction kSections[] = {
    &preferencesSection, &switchesSection,  &overheatSection, &runtimeStateSection,
    &daemonSection,      &extensionSection, &storeSection,
};

Json jsonOf(id value, int depth) {
  if (!value) return Json();
  if (objc::isBoolean(value)) return Json::boolean(objc::platformBoolValue(value));
  if (objc::isNumber(value)) {
    const double real = objc::doubleValue(value);
    const std::int64_t integer = objc::int64Value(value);
    if (static_cast<double>(integer) == real) return Json::integer(integer);
    return Json::real(real);
  }
  if (objc::isString(value)) return Json::string(objc::toString(value));
  if (depth >= kMaxJsonDepth) return Json::string("(nested too deeply)");
  if (objc::isArray(value)) {
    Json array = Json::array();
    for (std::size_t i = 0, n = objc::count(value); i < n; ++i) {
      array.add(jsonOf(objc::arrayGet(value, i), depth + 1));
    }
    return array;
  }
  if (objc::isDictionary(value)) {
    Json object = Json::object();
    objc::forEachEntry(value, [&](id key, id entry) {
      const std::string name =
          objc::isString(key)
              ? objc::toString(key)
              : "(a key of class " + std::string(objc::className(objc::classOf(key))) + ")";
      object.set(name, jsonOf(entry, depth + 1));
      return true;
    });
    return object;
  }
  if (objc::isData(value)) return Json::string("(data)");
  return Json::string("(a value of class " + std::string(objc::className(objc::classOf(value))) +
                      ")");
}

}  // namespace

Json jsonOfPropertyList(id value) {
  objc::AutoreleasePool pool;
  return jsonOf(value, 0);
}

StatusFacts gatherStatusFacts() {
  StatusFacts facts;
  readPreferences(facts);
  readRuntimeState(facts);
  facts.daemonPids = os::processesNamed(startup::kHostProcessName);
  if (facts.daemonPids) std::sort(facts.daemonPids->begin(), facts.daemonPids->end());
  facts.reportPath = contract::resolvedReportPath();
  facts.report = facts.reportPath.empty()
                     ? contract::ReportReading{contract::ReportReading::Status::missing,
                                               "its path cannot be resolved",
                                               {}}
                     : contract::readExtensionReport(facts.reportPath);
  facts.store = osthermal::readThermalStatusStore();
  readOverheatState(facts);
  return facts;
}

std::vector<StatusSection> statusSections(const StatusFacts& facts) {
  std::vector<StatusSection> sections;
  for (SectionFunction make : kSections) sections.push_back(make(facts));
  return sections;
}

std::string renderStatusTable(const std::vector<StatusSection>& sections) {
  // What the device's files hold (the store's other keys, the report's names) reaches a
  // terminal: every line goes through printable().
  std::string out;
  for (const StatusSection& section : sections) {
    if (!out.empty()) out += '\n';
    out += section.title + '\n';
    std::size_t width = 0;
    for (const StatusRow& row : section.rows) {
      if (!row.label.empty() && !row.shown.empty()) width = std::max(width, row.label.size());
    }
    for (const StatusRow& row : section.rows) {
      if (row.label.empty() || row.shown.empty()) continue;
      const std::size_t end = row.shown.find('\n');
      out += "  " + printable(row.label) + std::string(width + 2 - row.label.size(), ' ') +
             printable(row.shown.substr(0, end)) + '\n';
      for (std::size_t at = end; at != std::string::npos;) {
        const std::size_t next = row.shown.find('\n', at + 1);
        const std::size_t length = next == std::string::npos ? next : next - at - 1;
        out += "    " + printable(row.shown.substr(at + 1, length)) + '\n';
        at = next;
      }
    }
  }
  return out;
}

Json renderStatusJson(const std::vector<StatusSection>& sections) {
  Json root = Json::object();
  root.set("tool", Json::string(contract::projectVersion()));
  for (const StatusSection& section : sections) {
    Json object = Json::object();
    for (const StatusRow& row : section.rows) object.set(row.key, row.value);
    root.set(section.key, std::move(object));
  }
  return root;
}

Status runStatus(Invocation& invocation) {
  const bool json = invocation.option("--json").has_value();
  const std::vector<StatusSection> sections = statusSections(gatherStatusFacts());
  if (json) {
    invocation.context.out << renderStatusJson(sections).dump() << '\n';
  } else {
    invocation.context.out << "halvernicctl " << contract::projectVersion() << "\n\n"
                           << renderStatusTable(sections);
  }
  invocation.context.out.flush();
  if (!invocation.context.out) {
    invocation.complain("the status could not be written to standard output");
    return Status::failed;
  }
  return Status::ok;
}

}  // namespace halvernic::ctl
