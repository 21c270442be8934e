#include "sim/device/state.hpp"

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/osthermal/platform_reset.hpp"

namespace halvernic::sim::device {
namespace {

namespace contract = halvernic::contract;

using namespace std::chrono_literals;

int count_of(const std::string& text, const std::string& needle) {
  int n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size()))
    ++n;
  return n;
}

// The first line of a host's output that contains word, without the word's prefix.
std::string host_line(const Device& device, Host host, const std::vector<std::string>& command,
                      const std::string& word) {
  try {
    const HostResult result = device.run_host(host, command, 20s);
    if (result.status != 0)
      return "(host failed: " + result.err.substr(0, result.err.find('\n')) + ")";
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
      if (line.find(word) == std::string::npos) continue;
      // "row<TAB>label<TAB>key<TAB>value": the value as shown.
      const std::size_t tab = line.rfind('\t');
      return tab == std::string::npos ? line : line.substr(tab + 1);
    }
    return "(no " + word + " line)";
  } catch (const Error& error) {
    return std::string("(") + error.what() + ")";
  }
}

}  // namespace

std::string file_mode(const std::string& path) {
  objc::AutoreleasePool pool;
  // As every reader reads it: a FIFO or a crafted file planted there reads as unreadable
  // at once, never stalling the tool.
  const contract::PreferencesFileContents contents = contract::readPreferencesFile(path);
  if (contents.status == contract::PreferencesFileStatus::missing) return "off (no file)";
  const objc::Ref& plist = contents.propertyList;
  if (!objc::isDictionary(plist.get())) return "off (unreadable file)";
  return contract::powerModeValue(contract::powerModeOf(plist.get()));
}

std::string protection_setting(const std::string& path) {
  objc::AutoreleasePool pool;
  objc::Ref plist = objc::readPropertyListFile(path);
  id value = objc::dictionaryGet(plist.get(), contract::kOverheatProtectionKey);
  if (!value) return std::string(contract::kOverheatProtectionKey) + " absent: on";
  const bool on = contract::engineBoolValue(value).value_or(contract::kOverheatProtectionDefault);
  return std::string(contract::kOverheatProtectionKey) + " " + (on ? "on" : "off");
}

std::string engine_mode(const std::string& log) {
  struct Line {
    const char* text;
    const char* mode;
  };
  static constexpr Line kLines[] = {{"halvernic: full power mode", "fullPower"},
                                    {"halvernic: low power mode", "lowPower"},
                                    {"halvernic: native thermal mode restored", "off"}};
  std::size_t last = std::string::npos;
  std::string mode;
  for (const Line& line : kLines) {
    const std::size_t at = log.rfind(line.text);
    if (at != std::string::npos && (last == std::string::npos || at > last)) {
      last = at;
      mode = line.mode;
    }
  }
  return mode;
}

int engine_applications(const std::string& log) {
  // applyThermalState logs exactly one of these per application.
  return count_of(log, "halvernic fullPower thermal state nominal") +
         count_of(log, "halvernic prevent dimming thermal state capped to light") +
         count_of(log, "halvernic native/lowPower thermal state:");
}

std::vector<Row> state_table(const Device& device) {
  std::vector<Row> rows;
  rows.push_back({"device", device.root() + (device.booted() ? " (booted)" : " (shut down)")});
  rows.push_back(
      {"mode: file", file_mode(device.preferences_file()) + "  " + device.preferences_file()});
  rows.push_back({"mode: pane", host_line(device, Host::kSettings, {"rows"}, "thermalPowerMode")});
  rows.push_back({"mode: module", host_line(device, Host::kControlCenter, {"state"}, "mode: ")});
  const std::string log = device.log("thermalmonitord.log");
  const std::string engine = engine_mode(log);
  rows.push_back({"mode: engine", engine.empty() ? "(not applied yet)" : engine});
  // The replacement layer reads the same file through the jailbreak root, at most every
  // 50 ms: what the file holds is what it acts on.
  rows.push_back({"mode: replacement layer", file_mode(device.preferences_file())});

  const std::string launchd_log = device.log("launchd.log");
  rows.push_back({"launches of thermalmonitord",
                  std::to_string(count_of(launchd_log, "launched com.apple.thermalmonitord"))});
  rows.push_back({"re-applications (all launches)", std::to_string(engine_applications(log))});
  try {
    const auto state = device.daemon_state(3s);
    auto get = [&](const char* key) {
      const auto it = state.find(key);
      return it == state.end() ? std::string("?") : it->second;
    };
    rows.push_back({"thermalmonitord pid", get("pid")});
    rows.push_back({"temperature (C)", get("temperature")});
    rows.push_back({"battery temperature (C)", get("batteryTemperature")});
    rows.push_back(
        {"overheat protection",
         get("overheatProtection") + " (" + protection_setting(device.preferences_file()) + ")"});
    rows.push_back({"device time (s)", get("deviceSeconds")});
    rows.push_back({"thermal pressure",
                    get("thermalPressure") + " (simulation " + get("thermalSimulation") + ")"});
    rows.push_back({"brightness limit (%)", get("brightnessLimit")});
    rows.push_back({"CPU level", get("cpuLevel") + " (power save " + get("powerSave") + ")"});
    rows.push_back(
        {"CPU power ceiling / floor", get("cpuPowerCeiling") + " / " + get("cpuPowerFloor")});
    rows.push_back({"CPU target power", get("cpuTargetPower")});
    rows.push_back({"package power ceiling / floor / max", get("packagePowerCeiling") + " / " +
                                                               get("packagePowerFloor") + " / " +
                                                               get("maxPackagePower")});
    rows.push_back(
        {"GPU power ceiling / floor", get("gpuPowerCeiling") + " / " + get("gpuPowerFloor")});
    rows.push_back({"CPMS mitigations", get("cpmsMitigations")});
    rows.push_back({"call record", get("callRecord")});
  } catch (const Error& error) {
    rows.push_back({"thermalmonitord", std::string("(") + error.what() + ")"});
  }

  for (Row& row : thermal_status_rows(device.thermal_status_store())) {
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<Row> thermal_status_rows(const std::string& store_path) {
  objc::AutoreleasePool pool;
  objc::Ref store = objc::readPropertyListFile(store_path);
  auto text = [](id value) {
    if (objc::isBoolean(value)) {
      return std::string(objc::platformBoolValue(value) ? "true" : "false");
    }
    return objc::isString(value) ? objc::toString(value) : std::to_string(objc::int64Value(value));
  };
  std::vector<Row> rows;
  std::set<std::string> known;
  for (const osthermal::ThermalStatusFeature& feature : osthermal::kThermalStatusFeatures) {
    std::string value;
    for (const char* key : {feature.flagKey, feature.persistenceKey}) {
      if (!key) continue;
      known.insert(key);
      if (id stored = objc::dictionaryGet(store.get(), key)) {
        value += (value.empty() ? "" : " ") + std::string(key) + "=" + text(stored);
      }
    }
    rows.push_back(
        {std::string("OS: ") + feature.feature, value.empty() ? "(no key: native)" : value});
  }
  std::string others;
  objc::forEachEntry(store.get(), [&](id key, id value) {
    const std::string name = objc::toString(key);
    if (!known.count(name)) others += (others.empty() ? "" : " ") + name + "=" + text(value);
    return true;
  });
  rows.push_back({"OS: other keys", others.empty() ? "(none)" : others});
  return rows;
}

std::string ctl_status(const Device& device) {
  std::string which;
  try {
    const HostResult result = device.run_ctl({"status"}, 30s, &which);
    std::string text = "halvernicctl status (" + which + ")\n\n" + result.out;
    if (result.status != 0) {
      text +=
          result.err + "(halvernicctl exited with status " + std::to_string(result.status) + ")\n";
    }
    return text;
  } catch (const Error& error) {
    return std::string("halvernicctl status: ") + error.what() + "\n";
  }
}

std::string format_table(const std::vector<Row>& rows) {
  std::size_t width = 0;
  for (const Row& row : rows) width = std::max(width, row.name.size());
  std::string out;
  for (const Row& row : rows) {
    out += row.name;
    out.append(width + 2 - row.name.size(), ' ');
    out += row.value;
    out += '\n';
  }
  return out;
}

}  // namespace halvernic::sim::device
