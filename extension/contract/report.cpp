#include "extension/contract/report.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "common/objc/foundation.hpp"
#include "common/os/file.hpp"
#include "common/rootpath/rootpath.hpp"

#ifndef HALVERNIC_PROJECT_VERSION
#error "HALVERNIC_PROJECT_VERSION names the project's version"
#endif

namespace halvernic::contract {

namespace {

constexpr const char* kLayerValues[] = {"hook", "replacement"};
constexpr const char* kOutcomeValues[] = {"installed", "missingClass", "missingMethod",
                                          "typeMismatch"};

// A number that is no Boolean and holds an integer.
std::optional<std::int64_t> integer_value(id value) {
  if (!objc::is_number(value) || objc::is_boolean(value)) return std::nullopt;
  const double exact = objc::double_value(value);
  const std::int64_t integer = objc::int64_value(value);
  if (static_cast<double>(integer) != exact) return std::nullopt;
  return integer;
}

std::optional<std::string> string_value(id value) {
  if (!objc::is_string(value)) return std::nullopt;
  return objc::to_string(value);
}

std::string string_or_empty(id dictionary, const char* key) {
  return string_value(objc::dictionary_get(dictionary, key)).value_or(std::string());
}

ReportReading failed(ReportReading::Status status, std::string problem) {
  ReportReading reading;
  reading.status = status;
  reading.problem = std::move(problem);
  return reading;
}

std::optional<ReportedMethod> method_from(id entry) {
  if (!objc::is_dictionary(entry)) return std::nullopt;
  const std::optional<std::string> layer =
      string_value(objc::dictionary_get(entry, kReportLayerKey));
  const std::optional<std::string> className =
      string_value(objc::dictionary_get(entry, kReportClassKey));
  const std::optional<std::string> selector =
      string_value(objc::dictionary_get(entry, kReportSelectorKey));
  const std::optional<std::string> outcome =
      string_value(objc::dictionary_get(entry, kReportOutcomeKey));
  if (!layer || !className || !selector || !outcome) return std::nullopt;

  ReportedMethod method;
  if (*layer == kLayerValues[0]) {
    method.layer = ReportLayer::hook;
  } else if (*layer == kLayerValues[1]) {
    method.layer = ReportLayer::replacement;
  } else {
    return std::nullopt;
  }
  method.className = *className;
  method.selector = *selector;
  method.owner = string_or_empty(entry, kReportOwnerKey);
  id classMethod = objc::dictionary_get(entry, kReportClassMethodKey);
  method.classMethod = objc::is_boolean(classMethod) && objc::platform_bool_value(classMethod);
  method.outcome = InstallOutcome::unknown;
  for (std::size_t i = 0; i < std::size(kOutcomeValues); ++i) {
    if (*outcome == kOutcomeValues[i]) method.outcome = static_cast<InstallOutcome>(i);
  }
  method.hostTypes = string_or_empty(entry, kReportHostTypesKey);
  method.expectedTypes = string_or_empty(entry, kReportExpectedTypesKey);
  return method;
}

// The protection's dictionary; nothing when absent or not a dictionary.
std::optional<OverheatReport> overheat_from(id entry) {
  if (!objc::is_dictionary(entry)) return std::nullopt;
  OverheatReport overheat;
  id enabled = objc::dictionary_get(entry, kReportOverheatEnabledKey);
  overheat.enabled = !objc::is_boolean(enabled) || objc::platform_bool_value(enabled);
  id engaged = objc::dictionary_get(entry, kReportOverheatEngagedKey);
  overheat.engaged = objc::is_boolean(engaged) && objc::platform_bool_value(engaged);
  id temperature = objc::dictionary_get(entry, kReportBatteryTemperatureKey);
  if (objc::is_number(temperature) && !objc::is_boolean(temperature)) {
    const double celsius = objc::double_value(temperature);
    if (std::isfinite(celsius) && std::fabs(celsius) < 1e6) {
      overheat.batteryCentiCelsius = static_cast<int>(std::lround(celsius * 100));
    }
  }
  overheat.readAt = integer_value(objc::dictionary_get(entry, kReportReadAtKey)).value_or(0);
  return overheat;
}

ReportReading decode(id root) {
  using Status = ReportReading::Status;
  if (!objc::is_dictionary(root)) return failed(Status::damaged, "its root is not a dictionary");
  const std::optional<std::int64_t> format =
      integer_value(objc::dictionary_get(root, kReportFormatVersionKey));
  if (!format || *format < 1) return failed(Status::damaged, "no format version");
  if (*format > kReportFormatVersion) {
    return failed(Status::unsupportedFormat,
                  "format " + std::to_string(*format) + ", newer than this reader's " +
                      std::to_string(kReportFormatVersion));
  }
  const std::optional<std::int64_t> pid = integer_value(objc::dictionary_get(root, kReportPidKey));
  if (!pid || *pid <= 0) return failed(Status::damaged, "no process id");
  id methods = objc::dictionary_get(root, kReportMethodsKey);
  if (!objc::is_array(methods)) return failed(Status::damaged, "no list of methods");

  ReportReading reading;
  reading.status = Status::ok;
  ExtensionReport& report = reading.report;
  report.formatVersion = static_cast<int>(*format);
  report.pid = *pid;
  report.version = string_or_empty(root, kReportVersionKey);
  report.writtenAt = integer_value(objc::dictionary_get(root, kReportWrittenAtKey)).value_or(0);
  id mode = objc::dictionary_get(root, kReportAppliedModeKey);
  for (std::size_t i = 0; i < kPowerModeValues.size(); ++i) {
    if (objc::is_string(mode) && objc::string_equals(mode, kPowerModeValues[i])) {
      report.appliedMode = static_cast<PowerMode>(i);
    }
  }
  report.overheat = overheat_from(objc::dictionary_get(root, kReportOverheatKey));
  const std::size_t n = objc::count(methods);
  report.methods.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::optional<ReportedMethod> method = method_from(objc::array_get(methods, i));
    if (!method) {
      return failed(Status::damaged, "method " + std::to_string(i + 1) + " is incomplete");
    }
    report.methods.push_back(std::move(*method));
  }
  return reading;
}

}  // namespace

std::string resolved_report_path() {
  char buffer[rootpath::kBufferSize];
  const char* resolved = jbroot(kReportPath, buffer);
  return resolved ? std::string(resolved) : std::string();
}

const char* report_layer_value(ReportLayer layer) noexcept {
  return kLayerValues[static_cast<std::size_t>(layer)];
}

const char* install_outcome_value(InstallOutcome outcome) noexcept {
  const auto index = static_cast<std::size_t>(outcome);
  return index < std::size(kOutcomeValues) ? kOutcomeValues[index] : "unknown";
}

std::string ReportedMethod::method() const {
  return std::string(classMethod ? "+[" : "-[") + className + " " + selector + "]";
}

std::size_t ExtensionReport::count(InstallOutcome outcome, std::optional<ReportLayer> layer) const {
  std::size_t n = 0;
  for (const ReportedMethod& method : methods) {
    if (method.outcome == outcome && (!layer || method.layer == *layer)) ++n;
  }
  return n;
}

const char* project_version() noexcept { return HALVERNIC_PROJECT_VERSION; }

objc::Ref report_property_list(const ExtensionReport& report) {
  objc::AutoreleasePool pool;
  objc::Ref root = objc::make_mutable_dictionary();
  objc::dictionary_set(root.get(), kReportFormatVersionKey, objc::number(report.formatVersion));
  objc::dictionary_set(root.get(), kReportVersionKey, objc::string(report.version));
  objc::dictionary_set(root.get(), kReportPidKey, objc::number(report.pid));
  objc::dictionary_set(root.get(), kReportWrittenAtKey, objc::number(report.writtenAt));
  if (report.appliedMode) {
    objc::dictionary_set(root.get(), kReportAppliedModeKey,
                         objc::string(power_mode_value(*report.appliedMode)));
  }
  if (report.overheat) {
    const OverheatReport& overheat = *report.overheat;
    objc::Ref entry = objc::make_mutable_dictionary();
    objc::dictionary_set(entry.get(), kReportOverheatEnabledKey, objc::boolean(overheat.enabled));
    objc::dictionary_set(entry.get(), kReportOverheatEngagedKey, objc::boolean(overheat.engaged));
    if (overheat.batteryCentiCelsius) {
      objc::dictionary_set(entry.get(), kReportBatteryTemperatureKey,
                           objc::number_double(*overheat.batteryCentiCelsius / 100.0));
    } else {
      objc::dictionary_set(entry.get(), kReportBatteryTemperatureKey,
                           objc::string(kReportUnknownReading));
    }
    objc::dictionary_set(entry.get(), kReportReadAtKey, objc::number(overheat.readAt));
    objc::dictionary_set(root.get(), kReportOverheatKey, entry.get());
  }
  objc::Ref methods = objc::make_mutable_array();
  for (const ReportedMethod& method : report.methods) {
    objc::Ref entry = objc::make_mutable_dictionary();
    objc::dictionary_set(entry.get(), kReportLayerKey,
                         objc::string(report_layer_value(method.layer)));
    objc::dictionary_set(entry.get(), kReportOwnerKey, objc::string(method.owner));
    objc::dictionary_set(entry.get(), kReportClassKey, objc::string(method.className));
    objc::dictionary_set(entry.get(), kReportSelectorKey, objc::string(method.selector));
    objc::dictionary_set(entry.get(), kReportClassMethodKey, objc::boolean(method.classMethod));
    objc::dictionary_set(entry.get(), kReportOutcomeKey,
                         objc::string(install_outcome_value(method.outcome)));
    if (method.outcome == InstallOutcome::typeMismatch) {
      objc::dictionary_set(entry.get(), kReportHostTypesKey, objc::string(method.hostTypes));
      objc::dictionary_set(entry.get(), kReportExpectedTypesKey,
                           objc::string(method.expectedTypes));
    }
    objc::array_add(methods.get(), entry.get());
  }
  objc::dictionary_set(root.get(), kReportMethodsKey, methods.get());
  return root;
}

int write_extension_report(std::string_view path, const ExtensionReport& report) {
  const std::string file(path);
  const std::size_t slash = file.rfind('/');
  if (file.empty() || slash == std::string::npos || slash + 1 == file.size()) return EINVAL;
  if (slash > 0) {
    if (const int error = os::make_folder(file.substr(0, slash).c_str(), kReportFolderMode)) {
      return error;
    }
  }
  std::optional<std::string> bytes;
  {
    objc::AutoreleasePool pool;
    objc::Ref plist = report_property_list(report);
    bytes = objc::property_list_xml(plist.get());
  }
  if (!bytes) return EINVAL;
  return os::write_file_atomically(file.c_str(), bytes->data(), bytes->size(), kReportFileMode);
}

ReportReading read_extension_report(std::string_view path) {
  using Status = ReportReading::Status;
  std::string bytes;
  errno = 0;
  switch (os::read_file(std::string(path).c_str(), kMaxReportFileSize, bytes)) {
    case os::ReadStatus::ok:
      break;
    case os::ReadStatus::missing:
      return failed(Status::missing, "no report");
    case os::ReadStatus::tooLarge:
      return failed(Status::unreadable, "larger than " + std::to_string(kMaxReportFileSize) +
                                            " bytes");
    case os::ReadStatus::failed:
      // A file where the folder should be: there is no report file either.
      if (errno == ENOTDIR) return failed(Status::missing, "no report");
      return failed(Status::unreadable, errno ? std::strerror(errno) : "cannot be read");
  }
  objc::AutoreleasePool pool;
  ReportReading reading;
  try {
    objc::Ref data = objc::make_data(bytes);
    objc::Ref root = objc::parse_property_list(data.get());
    if (!root) return failed(Status::damaged, "not a property list");
    reading = decode(root.get());
  } catch (...) {
    return failed(Status::damaged, "not a property list");
  }
  return reading;
}

}  // namespace halvernic::contract
