// halvernicctl status, in process, below a device root of the program's own (libroot, the
// SystemConfiguration store, the report's folder), with a stand-in thermalmonitord (a
// program of that name carrying the device root): each fact as the table shows it and as
// JSON carries it, the JSON read back by a real parser (Python's), and the JSON writer on
// its own.
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/os/process.hpp"
#include "ctl/ctl.hpp"
#include "ctl/json.hpp"
#include "ctl/status.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/contract/report.hpp"
#include "extension/osthermal/platform_reset.hpp"
#include "hvplatform/sc_testing.h"
#include "sim/device/device.hpp"
#include "tests/ctl/python_json.hpp"

namespace {

namespace fs = std::filesystem;
namespace ctl = halvernic::ctl;
namespace contract = halvernic::contract;
namespace device = halvernic::sim::device;
using ctl::Json;
using ctl::Status;
using namespace std::chrono_literals;

const std::string kDeviceRoot = [] {
  std::string root =
      (fs::temp_directory_path() / ("hv-ctl-status-" + std::to_string(getpid()))).string();
  fs::create_directories(root);
  setenv("HALVERNIC_DEVICE_ROOT", root.c_str(), 1);
  unsetenv("HALVERNIC_NOTIFY_SOCKET");  // names and states inside this process
  return root;
}();
const std::string kPreferences = kDeviceRoot + "/var/jb" + contract::kPreferencesPath;
const std::string kReport = kDeviceRoot + "/var/jb" + contract::kReportPath;
const std::string kStore =
    kDeviceRoot + "/Library/Preferences/SystemConfiguration/OSThermalStatus.plist";

struct Result {
  Status status;
  std::string out, err;
};

Result run(std::vector<std::string> arguments) {
  std::ostringstream out, err;
  ctl::Context context{false, out, err};
  const Status status = ctl::run(arguments, context);
  return {status, out.str(), err.str()};
}

std::map<std::string, std::string> parsedByPython(const std::string& text) {
  return hv_test::parsedByPython(text, kDeviceRoot);
}

// The same leaves from our own value, written the way Python writes them.
void leavesOf(const Json& value, const std::string& path, std::map<std::string, std::string>& out) {
  const std::string prefix = path.empty() ? "" : path + ".";
  switch (value.kind()) {
    case Json::Kind::object:
      if (value.members().empty()) out[path] = "{}";
      for (const auto& [key, member] : value.members()) {
        std::string escaped;
        ctl::appendJsonString(escaped, key);
        leavesOf(member, prefix + escaped.substr(1, escaped.size() - 2), out);
      }
      return;
    case Json::Kind::array:
      if (value.items().empty()) out[path] = "[]";
      for (std::size_t i = 0; i < value.items().size(); ++i) {
        leavesOf(value.items()[i], prefix + std::to_string(i), out);
      }
      return;
    default: out[path] = value.dump();
  }
}

// A program named thermalmonitord that belongs to this device (its environment names the
// root), as the process table sees a daemon; ended when this goes.
class StandInDaemon {
public:
  StandInDaemon() {
    const std::string program = kDeviceRoot + "/bin/thermalmonitord";
    fs::create_directories(kDeviceRoot + "/bin");
    fs::copy_file("/bin/sleep", program, fs::copy_options::overwrite_existing);
    std::string path = program, seconds = "60";
    char* argv[] = {path.data(), seconds.data(), nullptr};
    std::string root = "HALVERNIC_DEVICE_ROOT=" + kDeviceRoot;
    char* envp[] = {root.data(), nullptr};
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv, envp) != 0) pid_ = -1;
    // The parent of a vfork-style spawn goes on before the child's exec has finished
    // (its name and environment are set later): wait until the table shows it.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
      const auto found = os::processesNamed("thermalmonitord");
      if (found && std::count(found->begin(), found->end(), pid_)) break;
      std::this_thread::sleep_for(10ms);
    }
  }
  ~StandInDaemon() {
    if (device::signal_process(pid_, SIGKILL)) waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }

private:
  pid_t pid_ = -1;
};

void writePlist(id plist, const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(plist, path)) << path;
}

void writeReport(std::int64_t pid, const std::vector<contract::ReportedMethod>& methods) {
  contract::ExtensionReport report;
  report.version = contract::projectVersion();
  report.pid = pid;
  report.writtenAt = 1700000000;
  report.appliedMode = contract::PowerMode::fullPower;
  report.methods = methods;
  ASSERT_EQ(contract::writeExtensionReport(kReport, report), 0);
}

contract::ReportedMethod method(contract::ReportLayer layer, const char* owner, const char* cls,
                                const char* selector, contract::InstallOutcome outcome,
                                const char* host = "", const char* expected = "") {
  contract::ReportedMethod m;
  m.layer = layer;
  m.owner = owner;
  m.className = cls;
  m.selector = selector;
  m.outcome = outcome;
  m.hostTypes = host;
  m.expectedTypes = expected;
  return m;
}

// The table's line for a label in a section: "  label   text" ("" when there is none).
std::string tableLine(const std::string& table, const std::string& title,
                      const std::string& label) {
  const std::size_t section = table.find("\n" + title + "\n");
  if (section == std::string::npos) return "";
  const std::size_t end = table.find("\n\n", section + 1);
  std::istringstream lines(
      table.substr(section + 1, end == std::string::npos ? end : end - section));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  " + label + "  ", 0) == 0) {
      const std::size_t text = line.find_first_not_of(' ', 2 + label.size());
      return text == std::string::npos ? "" : line.substr(text);
    }
  }
  return "";
}

class CtlStatus : public testing::Test {
protected:
  void SetUp() override {
    HVSCTestReset();
    fs::remove(kPreferences);
    fs::remove_all(fs::path(kReport).parent_path());
    fs::remove(kStore);
    fs::create_directories(fs::path(kPreferences).parent_path());
  }
  void TearDown() override { HVSCTestReset(); }

  // status and status --json, the JSON parsed by Python and compared leaf by leaf with the
  // facts the table was made from; the table's text.
  std::string statusBoth(std::map<std::string, std::string>* json) {
    const Result table = run({"status"});
    EXPECT_EQ(table.status, Status::ok) << table.err;
    EXPECT_EQ(table.err, "");
    const Result machine = run({"status", "--json"});
    EXPECT_EQ(machine.status, Status::ok) << machine.err;
    *json = parsedByPython(machine.out);
    EXPECT_EQ(json->count("!"), 0u) << (*json)["!"] << "\n" << machine.out;
    // Every row of the table is a member of the JSON with the same value, and every row
    // with a label is a line of the table.
    const std::vector<ctl::StatusSection> sections = ctl::statusSections(ctl::gatherStatusFacts());
    std::map<std::string, std::string> ours;
    leavesOf(ctl::renderStatusJson(sections), "", ours);
    for (auto& [path, value] : ours) {
      // The writer's reals are the shortest that read back, as Python writes them.
      EXPECT_EQ((*json)[path], value) << path;
    }
    for (const ctl::StatusSection& section : sections) {
      for (const ctl::StatusRow& row : section.rows) {
        if (row.label.empty() || row.shown.empty()) continue;
        EXPECT_EQ(tableLine(table.out, section.title, row.label),
                  row.shown.substr(0, row.shown.find('\n')))
            << section.title << " / " << row.label << "\n"
            << table.out;
      }
    }
    return table.out;
  }
};

TEST_F(CtlStatus, ThePreferencesFileAsTheReadersReadIt) {
  struct Case {
    const char* what;
    std::function<void()> prepare;
    const char* file;       // preferences.file
    std::string fileShown;  // the table's "file" line after the path
    const char* mode;       // preferences.mode
    const char* modeShown;  // the table's thermalPowerMode line
    const char* dimming;    // switches.thermalPreventDimmingEnabled.on
    const char* dimmingShown;
    const char* sunlightShown;
  };
  objc::AutoreleasePool pool;
  auto dictionary = [](std::initializer_list<std::pair<const char*, id>> entries) {
    objc::Ref plist = objc::makeMutableDictionary();
    for (const auto& [key, value] : entries) objc::dictionarySet(plist.get(), key, value);
    writePlist(plist.get(), kPreferences);
  };
  const Case cases[] = {
      {"no file", [] {}, "missing", " (no file: every key is absent)", "off", "off (not set)",
       "false", "not set: off", "not set: the platform's setting is left as it is"},
      {"not a property list", [] { std::ofstream(kPreferences) << "bplist00 broken"; },
       "unreadable",
       " (unreadable: not a property list the readers take; read as if every key were absent)",
       "off", "off (not set)", "false", "not set: off",
       "not set: the platform's setting is left as it is"},
      {"larger than the readers take",
       [] {
         std::ofstream out(kPreferences);
         out << std::string(contract::kMaxPreferencesFileSize + 1, ' ');
       },
       "unreadable", " (unreadable: larger than 1 MiB; read as if every key were absent)", "off",
       "off (not set)", "false", "not set: off",
       "not set: the platform's setting is left as it is"},
      {"a list at the root",
       [] {
         objc::Ref list = objc::makeMutableArray();
         writePlist(list.get(), kPreferences);
       },
       "unreadable",
       " (unreadable: its root is not a dictionary; read as if every key were absent)", "off",
       "off (not set)", "false", "not set: off",
       "not set: the platform's setting is left as it is"},
      {"a link to a good file",
       [] {
         objc::Ref plist = objc::makeMutableDictionary();
         objc::dictionarySet(plist.get(), contract::kPowerModeKey, objc::string("lowPower"));
         writePlist(plist.get(), kDeviceRoot + "/elsewhere.plist");
         fs::create_symlink(kDeviceRoot + "/elsewhere.plist", kPreferences);
       },
       "unreadable",
       " (unreadable: a symbolic link (no reader follows one); read as if every key were "
       "absent)",
       "off", "off (not set)", "false", "not set: off",
       "not set: the platform's setting is left as it is"},
      {"a folder", [] { fs::create_directory(kPreferences); }, "unreadable",
       " (unreadable: not a regular file; read as if every key were absent)", "off",
       "off (not set)", "false", "not set: off",
       "not set: the platform's setting is left as it is"},
      {"values as the engine reads them",
       [&] {
         dictionary({{contract::kPowerModeKey, objc::string("lowPower")},
                     {contract::kPreventDimmingKey, objc::string("Yes")},
                     {contract::kSunlightLockedKey, objc::number(0)}});
       },
       "ok", "", "lowPower", "lowPower", "true", "on (stored: \"Yes\")", "off (stored: 0)"},
      {"values that are none",
       [&] {
         dictionary({{contract::kPowerModeKey, objc::string("FullPower")},
                     {contract::kPreventDimmingKey, objc::makeMutableArray().get()},
                     {contract::kSunlightLockedKey, objc::boolean(true)}});
       },
       "ok", "", "off", "off (stored: \"FullPower\", which is no mode)", "false",
       "not set (stored: (a list of 0), which is no switch value): off", "on (stored: true)"},
  };
  for (const Case& c : cases) {
    fs::remove_all(kPreferences);
    c.prepare();
    std::map<std::string, std::string> json;
    const std::string table = statusBoth(&json);
    EXPECT_EQ(json["preferences.file"], std::string("\"") + c.file + "\"") << c.what;
    EXPECT_EQ(json["preferences.path"], "\"" + kPreferences + "\"") << c.what;
    EXPECT_EQ(tableLine(table, "Preferences", "file"), kPreferences + c.fileShown) << c.what;
    EXPECT_EQ(json["preferences.mode"], std::string("\"") + c.mode + "\"") << c.what;
    EXPECT_EQ(tableLine(table, "Preferences", contract::kPowerModeKey), c.modeShown) << c.what;
    EXPECT_EQ(json[std::string("switches.") + contract::kPreventDimmingKey + ".on"], c.dimming)
        << c.what;
    EXPECT_EQ(tableLine(table, "Switches", contract::kPreventDimmingKey), c.dimmingShown) << c.what;
    EXPECT_EQ(tableLine(table, "Switches", contract::kSunlightLockedKey), c.sunlightShown)
        << c.what;
  }
}

// Whether the extension is loaded: the report names a thermalmonitord of this device that
// runs now. Anything but a readable report is "no report".
TEST_F(CtlStatus, TheExtensionIsLoadedWhenItsReportNamesTheRunningDaemon) {
  using contract::InstallOutcome;
  using contract::ReportLayer;
  const std::vector<contract::ReportedMethod> methods = {
      method(ReportLayer::hook, "MitigationControllerHook", "MitigationController", "CPULevel",
             InstallOutcome::typeMismatch, "q16@0:8", "i16@0:8"),
      method(ReportLayer::replacement, "replacements", "ThermalManager",
             "thermalPressure:", InstallOutcome::missingMethod),
      method(ReportLayer::replacement, "replacements", "CommonProduct",
             "setThermalState:", InstallOutcome::installed),
      method(ReportLayer::hook, "\x1b]0;owned\x07Hook", "Crafted\nClass",
             "x\xc2\x9b"
             "31m",
             InstallOutcome::missingClass),
  };
  std::map<std::string, std::string> json;
  {
    // No daemon, no report.
    const std::string table = statusBoth(&json);
    EXPECT_EQ(tableLine(table, "thermalmonitord", "running"), "no");
    EXPECT_EQ(tableLine(table, "thermalmonitord", "extension loaded"),
              "no: thermalmonitord is not running");
    EXPECT_EQ(json["thermalmonitord.extensionLoaded"], "false");
    EXPECT_EQ(tableLine(table, "Extension (its report)", "report"), "no report");
    EXPECT_EQ(json["extension.report"], "\"missing\"");
    EXPECT_EQ(json["extension.methods"], "null");
  }
  StandInDaemon daemon;
  ASSERT_GT(daemon.pid(), 0);
  const std::string pid = std::to_string(daemon.pid());
  struct Case {
    const char* what;
    std::function<void()> prepare;
    const char* report;  // extension.report
    const char* reportShown;
    const char* loaded;  // thermalmonitord.extensionLoaded
    std::string loadedShown;
  };
  const Case cases[] = {
      {"no report", [] {}, "missing", "no report", "null", "unknown: no report"},
      {"a damaged report",
       [] {
         fs::create_directories(fs::path(kReport).parent_path());
         std::ofstream(kReport) << "<plist><dict><key>pid</key>";
       },
       "damaged", "no report (damaged: not a property list)", "null", "unknown: no report"},
      {"a report of a newer format",
       [] {
         objc::Ref plist = objc::makeMutableDictionary();
         objc::dictionarySet(plist.get(), contract::kReportFormatVersionKey, objc::number(99));
         writePlist(plist.get(), kReport);
       },
       "unsupportedFormat", "no report (unsupportedFormat: format 99, newer than this reader's 1)",
       "null", "unknown: no report"},
      {"a report of an earlier process", [&] { writeReport(daemon.pid() + 100000, methods); }, "ok",
       "ok", "false",
       "no: the report is of pid " + std::to_string(daemon.pid() + 100000) +
           ", which has ended (the running daemon wrote none)"},
      {"the running daemon's report", [&] { writeReport(daemon.pid(), methods); }, "ok", "ok",
       "true", "yes, in pid " + pid},
  };
  for (const Case& c : cases) {
    fs::remove_all(fs::path(kReport).parent_path());
    c.prepare();
    const std::string table = statusBoth(&json);
    EXPECT_EQ(tableLine(table, "thermalmonitord", "running"), "yes, pid " + pid) << c.what;
    EXPECT_EQ(json["thermalmonitord.pids.0"], pid) << c.what;
    EXPECT_EQ(json["extension.report"], std::string("\"") + c.report + "\"") << c.what;
    EXPECT_EQ(tableLine(table, "Extension (its report)", "report"), c.reportShown) << c.what;
    EXPECT_EQ(json["thermalmonitord.extensionLoaded"], c.loaded) << c.what;
    EXPECT_EQ(tableLine(table, "thermalmonitord", "extension loaded"), c.loadedShown) << c.what;
  }
  // The last report's methods: each skip with its reason, both encodings for other types.
  const std::string table = run({"status"}).out;
  EXPECT_EQ(tableLine(table, "Extension (its report)", "installed"),
            "1 of 4 (0 hooks, 1 replacement)");
  EXPECT_EQ(tableLine(table, "Extension (its report)", "skipped"), "3");
  EXPECT_NE(table.find("\n    -[Crafted\\x0AClass x\\u009B31m] (hook, \\x1B]0;owned\\x07Hook): no "
                       "class Crafted\\x0AClass\n"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("\n    -[MitigationController CPULevel] (hook, MitigationControllerHook): "
                       "other types: host q16@0:8, expected i16@0:8\n"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("\n    -[ThermalManager thermalPressure:] (replacement, replacements): "
                       "no such method\n"),
            std::string::npos);
  EXPECT_NE(table.find("\n    installed     replacement  -[CommonProduct setThermalState:]\n"),
            std::string::npos);
  EXPECT_EQ(json["extension.methods.0.hostTypes"], "\"q16@0:8\"");
  EXPECT_EQ(json["extension.methods.0.expectedTypes"], "\"i16@0:8\"");
  EXPECT_EQ(json["extension.methods.1.outcome"], "\"missingMethod\"");
  EXPECT_EQ(json["extension.methods.1.hostTypes"], "null");
  EXPECT_EQ(json["extension.appliedMode"], "\"fullPower\"");
  EXPECT_EQ(json["extension.writtenAt"], "1700000000");
  EXPECT_EQ(tableLine(table, "Extension (its report)", "written"), "2023-11-14 22:13:20 UTC");
}

// The overheat protection: its setting as the engine reads it, what it guards, whether it is
// engaged (its state file: since when and at which reading), and the last reading the
// extension's report carries.
TEST_F(CtlStatus, TheOverheatProtectionsSettingStateAndLastReading) {
  objc::AutoreleasePool pool;
  const std::string state = contract::resolvedOverheatStatePath();
  ASSERT_EQ(state, kDeviceRoot + "/var/jb" + contract::kOverheatStatePath);
  const std::string title = "Overheat protection";
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, id>> preferences;
    std::function<void()> prepare;  // the state file and the report
    const char* enabledShown;
    std::string guardsShown;
    const char* engaged;  // JSON
    std::string engagedShown;
    const char* readingShown;
    const char* reading;  // JSON batteryTemperature
    const char* engagedAt;
    const char* engagedAtTemperature;
  };
  auto report = [](std::optional<contract::OverheatReport> overheat) {
    contract::ExtensionReport r;
    r.version = contract::projectVersion();
    r.pid = 1;
    r.writtenAt = 1700000000;
    r.overheat = overheat;
    fs::create_directories(fs::path(kReport).parent_path());
    ASSERT_EQ(contract::writeExtensionReport(kReport, r), 0);
  };
  contract::OverheatReport read;
  read.engaged = true;
  read.batteryCentiCelsius = 5187;
  read.readAt = 1700000200;
  contract::OverheatReport none;
  contract::OverheatState engagedState;
  engagedState.engagedAt = 123;
  engagedState.engagedAtWall = 1700000100;
  engagedState.readingCentiCelsius = 5312;
  const objc::Ref emptyList = objc::makeMutableArray();
  const std::string guards = " (from 50.00 C until 45.00 C, at least 60 s)";
  const Case cases[] = {
      {"nothing set, no report",
       {},
       [] {},
       "on (not set: on unless set off)",
       "nothing: neither fullPower nor thermalPreventDimmingEnabled is chosen",
       "false",
       "no",
       "unknown: no report",
       "null",
       "null",
       "null"},
      {"full power, engaged, read",
       {{contract::kPowerModeKey, objc::string("fullPower")}},
       [&] {
         ASSERT_EQ(contract::writeOverheatState(state, engagedState), 0);
         report(read);
       },
       "on (not set: on unless set off)",
       "fullPower" + guards,
       "true",
       "yes, since 2023-11-14 22:15:00 UTC (battery 53.12 C)",
       "51.87 C at 2023-11-14 22:16:40 UTC (the extension's report)",
       "51.87",
       "1700000100",
       "53.12"},
      {"both guarded, a damaged state file, nothing read",
       {{contract::kPowerModeKey, objc::string("fullPower")},
        {contract::kPreventDimmingKey, objc::boolean(true)},
        {contract::kOverheatProtectionKey, objc::string("yes")}},
       [&] {
         std::ofstream(state) << "<plist>garbage";
         report(none);
       },
       "on (stored: \"yes\")",
       "fullPower and thermalPreventDimmingEnabled" + guards,
       "true",
       "yes (its state file: it holds no state; the extension takes such a file as engaged)",
       "unknown: the extension has read none (no battery entry or no temperature)",
       "null",
       "null",
       "null"},
      {"off, from a report of a version without it",
       {{contract::kPreventDimmingKey, objc::number(1)},
        {contract::kOverheatProtectionKey, objc::boolean(false)}},
       [&] { report(std::nullopt); },
       "off (stored: false)",
       "nothing: it is off",
       "false",
       "no",
       "unknown: the report does not carry it",
       "null",
       "null",
       "null"},
      {"a value that is no switch value",
       {{contract::kPreventDimmingKey, objc::boolean(true)},
        {contract::kOverheatProtectionKey, emptyList.get()}},
       [] {},
       "on (stored: (a list of 0), which is no switch value: on unless set off)",
       "thermalPreventDimmingEnabled" + guards,
       "false",
       "no",
       "unknown: no report",
       "null",
       "null",
       "null"},
  };
  for (const Case& c : cases) {
    fs::remove_all(fs::path(kReport).parent_path());
    fs::create_directories(fs::path(kReport).parent_path());
    objc::Ref plist = objc::makeMutableDictionary();
    for (const auto& [key, value] : c.preferences) objc::dictionarySet(plist.get(), key, value);
    writePlist(plist.get(), kPreferences);
    c.prepare();
    std::map<std::string, std::string> json;
    const std::string table = statusBoth(&json);
    EXPECT_EQ(tableLine(table, title, contract::kOverheatProtectionKey), c.enabledShown) << c.what;
    EXPECT_EQ(json["overheatProtection.enabled"],
              std::string(c.enabledShown).rfind("on", 0) == 0 ? "true" : "false")
        << c.what;
    EXPECT_EQ(tableLine(table, title, "guards"), c.guardsShown) << c.what;
    EXPECT_EQ(json["overheatProtection.guarding"],
              c.guardsShown.rfind("nothing", 0) == 0 ? "false" : "true")
        << c.what;
    EXPECT_EQ(json["overheatProtection.engaged"], c.engaged) << c.what;
    EXPECT_EQ(tableLine(table, title, "engaged"), c.engagedShown) << c.what;
    EXPECT_EQ(json["overheatProtection.engagedAt"], c.engagedAt) << c.what;
    EXPECT_EQ(json["overheatProtection.engagedAtTemperature"], c.engagedAtTemperature) << c.what;
    EXPECT_EQ(tableLine(table, title, "last reading"), c.readingShown) << c.what;
    EXPECT_EQ(json["overheatProtection.batteryTemperature"], c.reading) << c.what;
    EXPECT_EQ(json["overheatProtection.stateFile"], "\"" + state + "\"") << c.what;
    // The switch beside the others, for set.
    EXPECT_EQ(json[std::string("switches.") + contract::kOverheatProtectionKey + ".on"],
              json["overheatProtection.enabled"])
        << c.what;
  }
}

TEST_F(CtlStatus, TheStoresKeysAndAnyOthers) {
  objc::AutoreleasePool pool;
  std::map<std::string, std::string> json;
  const std::string store = "OS thermal status store (OSThermalStatus.plist)";
  {
    const std::string table = statusBoth(&json);
    for (const auto& feature : halvernic::osthermal::kThermalStatusFeatures) {
      for (const char* key : {feature.flagKey, feature.persistenceKey}) {
        if (!key) continue;
        EXPECT_EQ(json[std::string("thermalStatusStore.") + key], "null") << key;
        EXPECT_EQ(tableLine(table, store, key), "absent (the platform's own)") << key;
      }
    }
    EXPECT_EQ(tableLine(table, store, "other keys"), "none");
    EXPECT_EQ(json["thermalStatusStore.otherKeys"], "{}");
  }
  objc::Ref plist = objc::makeMutableDictionary();
  objc::dictionarySet(plist.get(), "engageBehavior", objc::boolean(false));
  objc::dictionarySet(plist.get(), "simulateHip", objc::boolean(true));
  objc::dictionarySet(plist.get(), "someoneElses\n\"key\"", objc::numberDouble(2.5));
  writePlist(plist.get(), kStore);
  {
    const std::string table = statusBoth(&json);
    EXPECT_EQ(tableLine(table, store, "engageBehavior"), "false");
    EXPECT_EQ(json["thermalStatusStore.engageBehavior"], "false");
    EXPECT_EQ(json["thermalStatusStore.simulateHip"], "true");
    EXPECT_EQ(json["thermalStatusStore.hipOverride"], "null");
    EXPECT_EQ(json["thermalStatusStore.otherKeys.someoneElses\\n\\\"key\\\""], "2.5");
    // Whatever a name holds reaches the terminal as one line, its controls escaped.
    EXPECT_EQ(tableLine(table, store, "other keys"), "someoneElses\\x0A\"key\" = 2.5");
  }
  HVSCTestFailCreate(100, 1001);
  const std::string table = statusBoth(&json);
  EXPECT_EQ(tableLine(table, store, "readable"), "no: the store could not be opened");
  EXPECT_EQ(tableLine(table, store, "engageBehavior"), "unknown");
  EXPECT_EQ(json["thermalStatusStore.readable"], "false");
}

// The writer's output is JSON whatever the text holds: control characters escaped, text
// that is not UTF-8 replaced (U+FFFD), non-ASCII kept, numbers that JSON cannot hold null.
TEST(CtlJson, EveryStringAndNumberComesOutAsJsonThatReadsBack) {
  std::string controls;
  for (int c = 1; c < 0x20; ++c) controls += static_cast<char>(c);
  struct Case {
    Json value;
    std::string python;  // json.dumps(ensure_ascii=False) of what Python read
  };
  const Case cases[] = {
      {Json::string("plain"), "\"plain\""},
      {Json::string(std::string("a\0b", 3)), "\"a\\u0000b\""},
      {Json::string(controls),
       "\"\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000b\\f\\r\\u000e\\u000f"
       "\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018\\u0019\\u001a\\u001b"
       "\\u001c\\u001d\\u001e\\u001f\""},
      {Json::string("\"quoted\" back\\slash / \x7f"), "\"\\\"quoted\\\" back\\\\slash / \x7f\""},
      {Json::string("满频率 🔥"), "\"满频率 🔥\""},
      {Json::string("bad \xff\xfe and \xed\xa0\x80 and \xc3"),
       "\"bad \xef\xbf\xbd\xef\xbf\xbd and \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd and "
       "\xef\xbf\xbd\""},
      {Json::integer(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
      {Json::integer(std::numeric_limits<std::int64_t>::max()), "9223372036854775807"},
      {Json::real(0.1), "0.1"},
      {Json::real(-2.0679515313825692e-24), "-2.0679515313825692e-24"},
      {Json::real(1e300), "1e+300"},
      {Json::real(std::nan("")), "null"},
      {Json::real(HUGE_VAL), "null"},
      {Json::boolean(false), "false"},
      {Json(), "null"},
  };
  Json list = Json::array();
  for (const Case& c : cases) list.add(c.value);
  Json object = Json::object();
  object.set("list", list);
  object.set("", Json::object());
  object.set("key \x01\xff", Json::array());
  object.set("list", std::move(list));  // set again: replaced, in its first place
  const std::string text = object.dump();
  EXPECT_TRUE(ctl::isUTF8(text));
  std::map<std::string, std::string> parsed = parsedByPython(text);
  ASSERT_EQ(parsed.count("!"), 0u) << parsed["!"] << "\n" << text;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(parsed["list." + std::to_string(i)], cases[i].python) << i;
  }
  EXPECT_EQ(parsed[""], "{}");
  EXPECT_EQ(parsed["key \\u0001\xef\xbf\xbd"], "[]");
  EXPECT_EQ(parsed.size(), std::size(cases) + 2);
  EXPECT_EQ(text.find("\"list\""), 4u) << text;
}

}  // namespace
