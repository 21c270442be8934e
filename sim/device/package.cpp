#include "sim/device/package.hpp"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/objc/foundation.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/contract/report.hpp"
#include "extension/osthermal/platform_reset.hpp"

namespace halvernic::sim::device {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kScripts[] = {"postinst", "prerm", "postrm"};

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string info_folder(const Device& device) {
  return device.jailbreak_root() + "/var/lib/dpkg/info";
}
std::string info_file(const Device& device, const std::string& what) {
  return info_folder(device) + "/" + kPackageName + "." + what;
}

std::string single_quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void write_executable(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream(temporary, std::ios::trunc) << text;
  }
  ::chmod(temporary.c_str(), 0755);
  std::rename(temporary.c_str(), path.c_str());
}

}  // namespace

void write_jailbreak_tools(const Device& device) {
  const std::string bin = device.jailbreak_root() + "/usr/bin";
  fs::create_directories(bin);
  const std::string root = single_quoted(device.root());
  write_executable(
      bin + "/launchctl",
      "#!/bin/sh\n"
      "# launchctl of the simulated device's jailbreak: only kickstart -k system/LABEL, which\n"
      "# ends the device's job LABEL (hv-launchd launches it again).\n"
      "root=" +
          root +
          "\n"
          "[ \"$1\" = kickstart ] || { echo \"launchctl: only 'kickstart -k system/LABEL' here\" "
          ">&2; exit 1; }\n"
          "shift\n"
          "[ \"$1\" = -k ] && shift\n"
          "label=\"${1#system/}\"\n"
          "pid=\"$(cat \"$root/var/run/$label.pid\" 2>/dev/null)\"\n"
          "case \"$pid\" in ''|*[!0-9]*) echo \"launchctl: $label is not running\" >&2; exit 3 ;; "
          "esac\n"
          "tr '\\000' ' ' < \"/proc/$pid/cmdline\" 2>/dev/null | grep -qF \"$root/\" || exit 3\n"
          "kill -TERM \"$pid\"\n");
  write_executable(
      bin + "/killall",
      "#!/bin/sh\n"
      "# killall of the simulated device's jailbreak: killall [-SIGNAL] NAME signals the\n"
      "# device's processes of that name (their command line names the device root) only.\n"
      "root=" +
          root +
          "\n"
          "sig=TERM\n"
          "case \"$1\" in -*) sig=\"${1#-}\"; shift ;; esac\n"
          "found=1\n"
          "for dir in /proc/[0-9]*; do\n"
          "  [ \"$(cat \"$dir/comm\" 2>/dev/null)\" = \"$1\" ] || continue\n"
          "  tr '\\000' ' ' < \"$dir/cmdline\" 2>/dev/null | grep -qF \"$root/\" || continue\n"
          "  kill -\"$sig\" \"${dir#/proc/}\" 2>/dev/null && found=0\n"
          "done\n"
          "exit $found\n");
}

namespace {

ScriptRun run_script(const Device& device, const std::string& script, const std::string& action) {
  std::vector<std::string> env;
  for (const std::string& entry : device.environment()) {
    if (entry.rfind("CYDIA=", 0) == 0 || entry.rfind("DPKG_", 0) == 0) continue;
    env.push_back(entry);
  }
  env.push_back("DPKG_ROOT=" + device.root());
  env.push_back(std::string("DPKG_MAINTSCRIPT_PACKAGE=") + kPackageName);
  env.push_back("DPKG_MAINTSCRIPT_NAME=" + script);
  const HostResult result = run_bounded({"/bin/sh", info_file(device, script), action}, env, 60s);
  return {script, action, result.status, result.out + result.err};
}

std::vector<std::string> list_entries(const Device& device) {
  std::vector<std::string> entries;
  std::istringstream lines(read_file(info_file(device, "list")));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("/var/jb/", 0) == 0) entries.push_back(line.substr(8));
  }
  return entries;
}

bool maps_extension(pid_t pid) {
  return read_file("/proc/" + std::to_string(pid) + "/maps").find("/halvernic.") !=
         std::string::npos;
}

std::string boolean_text(id value) {
  if (objc::isBoolean(value)) return objc::platformBoolValue(value) ? "true" : "false";
  return objc::isString(value) ? objc::toString(value) : std::to_string(objc::int64Value(value));
}

}  // namespace

std::vector<std::string> folders_new_to(const std::string& staged,
                                        const std::string& jailbreak_root) {
  std::vector<std::string> folders;
  std::error_code error;
  for (fs::recursive_directory_iterator it(staged, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_directory()) continue;
    const std::string relative = fs::relative(it->path(), staged).string();
    if (!fs::exists(fs::path(jailbreak_root) / relative)) folders.push_back(relative);
  }
  return folders;
}

void record_installation(const Device& device, const std::vector<std::string>& files,
                         const std::vector<std::string>& folders) {
  fs::create_directories(info_folder(device));
  std::string list;
  for (const std::string& folder : folders) list += "/var/jb/" + folder + "/\n";
  for (const std::string& file : files) list += "/var/jb/" + file + "\n";
  {
    std::ofstream(info_file(device, "list"), std::ios::trunc) << list;
  }
  for (const char* script : kScripts) ::unlink(info_file(device, script).c_str());
  // The scripts of the build's package (packaging/CMakeLists.txt writes the manifest).
  std::istringstream manifest(read_file(device.programs().build_dir + "/packaging/layout.tsv"));
  for (std::string line; std::getline(manifest, line);) {
    std::istringstream fields(line);
    std::string kind, source, role;
    std::getline(fields, kind, '\t');
    std::getline(fields, source, '\t');
    std::getline(fields, role, '\t');
    if (kind != "script") continue;
    if (std::find(std::begin(kScripts), std::end(kScripts), role) == std::end(kScripts)) continue;
    fs::copy_file(source, info_file(device, role), fs::copy_options::overwrite_existing);
    ::chmod(info_file(device, role).c_str(), 0755);
  }
}

PackageState package_state(const Device& device) {
  if (fs::exists(info_file(device, "list"))) return PackageState::installed;
  if (fs::exists(info_file(device, "postrm"))) return PackageState::configFiles;
  return PackageState::notInstalled;
}

RemovalReport remove_package(const Device& device, bool purge) {
  const PackageState state = package_state(device);
  if (state == PackageState::notInstalled) {
    throw Error(std::string(kPackageName) + " is not installed");
  }
  if (state == PackageState::configFiles && !purge) {
    throw Error(std::string(kPackageName) + " is removed already (purge deletes what is left)");
  }
  write_jailbreak_tools(device);
  RemovalReport report;
  report.purge = purge;
  const pid_t before = device.job_pid(kDaemonLabel);
  auto has = [&](const char* script) { return fs::exists(info_file(device, script)); };

  if (state == PackageState::installed) {
    if (has("prerm")) {
      report.scripts.push_back(run_script(device, "prerm", "remove"));
      if (report.scripts.back().status != 0) {
        // As dpkg does: the package stays installed, its postinst is told the removal ended.
        if (has("postinst")) {
          report.scripts.push_back(run_script(device, "postinst", "abort-remove"));
        }
        report.leftBehind.push_back("everything: the prerm failed, so the package stays installed");
        return report;
      }
    }
    std::vector<std::string> entries = list_entries(device);
    // Files first, then the folders the package made, deepest first, when empty.
    std::sort(entries.begin(), entries.end(), std::greater<>());
    for (const std::string& entry : entries) {
      const fs::path path = fs::path(device.jailbreak_root()) / entry;
      std::error_code error;
      if (entry.back() == '/') {
        if (fs::is_directory(path, error) && fs::is_empty(path, error)) fs::remove(path, error);
      } else if (fs::remove(path, error)) {
        report.removedFiles.push_back(entry);
      }
    }
    std::reverse(report.removedFiles.begin(), report.removedFiles.end());
    ::unlink(info_file(device, "list").c_str());
    ::unlink(info_file(device, "prerm").c_str());
    ::unlink(info_file(device, "postinst").c_str());
    if (has("postrm")) report.scripts.push_back(run_script(device, "postrm", "remove"));
    report.removed = true;
    for (const std::string& entry : entries) {
      if (fs::exists(fs::path(device.jailbreak_root()) / entry)) {
        report.leftBehind.push_back((entry.back() == '/' ? "folder /var/jb/" : "file /var/jb/") +
                                    entry);
      }
    }
  }
  if (purge) {
    if (has("postrm")) report.scripts.push_back(run_script(device, "postrm", "purge"));
    ::unlink(info_file(device, "postrm").c_str());
    report.removed = true;
  } else if (has("postrm")) {
    report.leftBehind.push_back("the package's postrm in the dpkg database, for a purge");
  }

  if (device.booted()) {
    try {
      report.daemon = before && state == PackageState::installed
                          ? device.wait_for_daemon(before, 30s)
                          : device.wait_for_daemon(0, 30s);
    } catch (const Error&) {
      report.leftBehind.push_back("a thermalmonitord that was never relaunched (pid " +
                                  std::to_string(before) + ")");
      report.daemon = device.job_pid(kDaemonLabel);
    }
    report.daemonHasExtension = report.daemon > 0 && maps_extension(report.daemon);
    if (report.daemonHasExtension) {
      report.leftBehind.push_back("the extension, still loaded in thermalmonitord (pid " +
                                  std::to_string(report.daemon) + ")");
    }
  }
  const std::string reportFile = device.jailbreak_root() + contract::kReportPath;
  if (fs::exists(reportFile)) {
    report.leftBehind.push_back(
        "the extension's report " + reportFile +
        (purge ? " (the purge did not delete it)" : " (a purge deletes it)"));
  }
  // A state file left behind would have the next installation start engaged.
  const std::string overheatFile = device.jailbreak_root() + contract::kOverheatStatePath;
  if (fs::exists(overheatFile)) {
    report.leftBehind.push_back("the overheat protection's state " + overheatFile +
                                " (a new installation would start engaged)");
  }
  const fs::path stateFolder = fs::path(reportFile).parent_path();
  if (purge && fs::exists(stateFolder)) {
    report.leftBehind.push_back("the package's state folder " + stateFolder.string() +
                                " (the purge did not delete it)");
  }
  if (fs::exists(device.preferences_file())) {
    report.leftBehind.push_back(
        "the preferences file " + device.preferences_file() +
        (purge ? " (the purge did not delete it)" : " (a purge deletes it)"));
  }
  objc::AutoreleasePool pool;
  const objc::Ref store = objc::readPropertyListFile(device.thermal_status_store());
  std::string keys;
  for (const osthermal::ThermalStatusFeature& feature : osthermal::kThermalStatusFeatures) {
    for (const char* key : {feature.flagKey, feature.persistenceKey}) {
      if (!key) continue;
      if (id value = objc::dictionaryGet(store.get(), key)) {
        keys += std::string(" ") + key + "=" + boolean_text(value);
      }
    }
  }
  if (!keys.empty()) report.leftBehind.push_back("in the OS thermal status store:" + keys);
  return report;
}

std::string format_report(const RemovalReport& report) {
  std::string out;
  auto scripts_for = [&](const std::string& script, const std::string& action) {
    for (const ScriptRun& run : report.scripts) {
      if (run.script != script || run.action != action) continue;
      out += run.script + " " + run.action + ": exit " + std::to_string(run.status) + "\n";
      std::istringstream lines(run.output);
      for (std::string line; std::getline(lines, line);) out += "  | " + line + "\n";
    }
  };
  scripts_for("prerm", "remove");
  scripts_for("postinst", "abort-remove");
  if (!report.removedFiles.empty()) {
    out += "removed " + std::to_string(report.removedFiles.size()) + " files below /var/jb\n";
  }
  scripts_for("postrm", "remove");
  scripts_for("postrm", "purge");
  if (report.daemon > 0) {
    out += "thermalmonitord runs " + std::string(report.daemonHasExtension ? "with" : "without") +
           " the extension (pid " + std::to_string(report.daemon) + ")\n";
  }
  if (report.leftBehind.empty()) {
    out += "left behind: nothing\n";
  } else {
    out += "left behind:\n";
    for (const std::string& what : report.leftBehind) out += "  " + what + "\n";
  }
  return out;
}

}  // namespace halvernic::sim::device
