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
std::optional<std::int64_t> integerValue(id value) {
  if (!objc::isNumber(value) || objc::isBoolean(value)) return std::nullopt;
  const double exact = objc::doubleValue(value);
  const std::int64_t integer = objc::int64Value(value);
  if (static_cast<double>(integer) != exact) return std::nullopt;
  return integer;
}

std::optional<std::string> stringValue(id value) {
  if (!objc::isString(value)) return std::nullopt;
  return objc::toString(value);
}

std::string stringOrEmpty(id dictionary, const char* key) {
  return stringValue(objc::dictionaryGet(dictionary, key)).value_or(std::string());
}

ReportReading failed(ReportReading::Status status, std::string problem) {
  ReportReading reading;
  reading.status = status;
  reading.problem = std::move(problem);
  return reading;
}

std::optional<ReportedMethod> methodFrom(id entry) {
  if (!objc::isDictionary(entry)) return std::nullopt;
  const std::optional<std::string> layer = stringValue(objc::dictionaryGet(entry, kReportLayerKey));
  const std::optional<std::string> className =
      stringValue(objc::dictionaryGet(entry, kReportClassKey));
  const std::optional<std::string> selector =
      stringValue(objc::dictionaryGet(entry, kReportSelectorKey));
  const std::optional<std::string> outcome =
      stringValue(objc::dictionaryGet(entry, kReportOutcomeKey));
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
  method.owner = stringOrEmpty(entry, kReportOwnerKey);
  id classMethod = objc::dictionaryGet(entry, kReportClassMethodKey);
  method.classMethod = objc::isBoolean(classMethod) && objc::platformBoolValue(classMethod);
  method.outcome = InstallOutcome::unknown;
  for (std::size_t i = 0; i < std::size(kOutcomeValues); ++i) {
    if (*outcome == kOutcomeValues[i]) method.outcome = static_cast<InstallOutcome>(i);
  }
  method.hostTypes = stringOrEmpty(entry, kReportHostTypesKey);
  method.expectedTypes = stringOrEmpty(entry, kReportExpectedTypesKey);
  return method;
}

// The protection's dictionary; nothing when absent or not a dictionary.
std::optional<OverheatReport> overheatFrom(id entry) {
  if (!objc::isDictionary(entry)) return std::nullopt;
  OverheatReport overheat;
  id enabled = objc::dictionaryGet(entry, kReportOverheatEnabledKey);
  overheat.enabled = !objc::isBoolean(enabled) || objc::platformBoolValue(enabled);
  id engaged = objc::dictionaryGet(entry, kReportOverheatEngagedKey);
  overheat.engaged = objc::isBoolean(engaged) && objc::platformBoolValue(engaged);
  id temperature = objc::dictionaryGet(entry, kReportBatteryTemperatureKey);
  if (objc::isNumber(temperature) && !objc::isBoolean(temperature)) {
    const double celsius = objc::doubleValue(temperature);
    if (std::isfinite(celsius) && std::fabs(celsius) < 1e6) {
      overheat.batteryCentiCelsius = static_cast<int>(std::lround(celsius * 100));
    }
  }
  overheat.readAt = integerValue(objc::dictionaryGet(entry, kReportReadAtKey)).value_or(0);
  return overheat;
}

ReportReading decode(id root) {
  using Status = ReportReading::Status;
  if (!objc::isDictionary(root)) return failed(Status::damaged, "its root is not a dictionary");
  const std::optional<std::int64_t> format =
      integerValue(objc::dictionaryGet(root, kReportFormatVersionKey));
  if (!format || *format < 1) return failed(Status::damaged, "no format version");
  if (*format > kReportFormatVersion) {
    return failed(Status::unsupportedFormat, "format " + std::to_string(*format) +
                                                 ", newer than this reader's " +
                                                 std::to_string(kReportFormatVersion));
  }
  const std::optional<std::int64_t> pid = integerValue(objc::dictionaryGet(root, kReportPidKey));
  if (!pid || *pid <= 0) return failed(Status::damaged, "no process id");
  id methods = objc::dictionaryGet(root, kReportMethodsKey);
  if (!objc::isArray(methods)) return failed(Status::damaged, "no list of methods");

  ReportReading reading;
  reading.status = Status::ok;
  ExtensionReport& report = reading.report;
  report.formatVersion = static_cast<int>(*format);
  report.pid = *pid;
  report.version = stringOrEmpty(root, kReportVersionKey);
  report.writtenAt = integerValue(objc::dictionaryGet(root, kReportWrittenAtKey)).value_or(0);
  id mode = objc::dictionaryGet(root, kReportAppliedModeKey);
  for (std::size_t i = 0; i < kPowerModeValues.size(); ++i) {
    if (objc::isString(mode) && objc::stringEquals(mode, kPowerModeValues[i])) {
      report.appliedMode = static_cast<PowerMode>(i);
    }
  }
  report.overheat = overheatFrom(objc::dictionaryGet(root, kReportOverheatKey));
  const std::size_t n = objc::count(methods);
  report.methods.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::optional<ReportedMethod> method = methodFrom(objc::arrayGet(methods, i));
    if (!method) {
      return failed(Status::damaged, "method " + std::to_string(i + 1) + " is incomplete");
    }
    report.methods.push_back(std::move(*method));
  }
  return reading;
}

}  // namespace

std::string resolvedReportPath() {
  char buffer[rootpath::kBufferSize];
  const char* resolved = jbroot(kReportPath, buffer);
  return resolved ? std::string(resolved) : std::string();
}

const char* reportLayerValue(ReportLayer layer) noexcept {
  return kLayerValues[static_cast<std::size_t>(layer)];
}

const char* installOutcomeValue(InstallOutcome outcome) noexcept {
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

const char* projectVersion() noexcept { return HALVERNIC_PROJECT_VERSION; }

objc::Ref reportPropertyList(const ExtensionReport& report) {
  objc::AutoreleasePool pool;
  objc::Ref root = objc::makeMutableDictionary();
  objc::dictionarySet(root.get(), kReportFormatVersionKey, objc::number(report.formatVersion));
  objc::dictionarySet(root.get(), kReportVersionKey, objc::string(report.version));
  objc::dictionarySet(root.get(), kReportPidKey, objc::number(report.pid));
  objc::dictionarySet(root.get(), kReportWrittenAtKey, objc::number(report.writtenAt));
  if (report.appliedMode) {
    objc::dictionarySet(root.get(), kReportAppliedModeKey,
                        objc::string(powerModeValue(*report.appliedMode)));
  }
  if (report.overheat) {
    const OverheatReport& overheat = *report.overheat;
    objc::Ref entry = objc::makeMutableDictionary();
    objc::dictionarySet(entry.get(), kReportOverheatEnabledKey, objc::boolean(overheat.enabled));
    objc::dictionarySet(entry.get(), kReportOverheatEngagedKey, objc::boolean(overheat.engaged));
    if (overheat.batteryCentiCelsius) {
      objc::dictionarySet(entry.get(), kReportBatteryTemperatureKey,
                          objc::numberDouble(*overheat.batteryCentiCelsius / 100.0));
    } else {
      objc::dictionarySet(entry.get(), kReportBatteryTemperatureKey,
                          objc::string(kReportUnknownReading));
    }
    objc::dictionarySet(entry.get(), kReportReadAtKey, objc::number(overheat.readAt));
    objc::dictionarySet(root.get(), kReportOverheatKey, entry.get());
  }
  objc::Ref methods = objc::makeMutableArray();
  for (const ReportedMethod& method : report.methods) {
    objc::Ref entry = objc::makeMutableDictionary();
    objc::dictionarySet(entry.get(), kReportLayerKey, objc::string(reportLayerValue(method.layer)));
    objc::dictionarySet(entry.get(), kReportOwnerKey, objc::string(method.owner));
    objc::dictionarySet(entry.get(), kReportClassKey, objc::string(method.className));
    objc::dictionarySet(entry.get(), kReportSelectorKey, objc::string(method.selector));
    objc::dictionarySet(entry.get(), kReportClassMethodKey, objc::boolean(method.classMethod));
    objc::dictionarySet(entry.get(), kReportOutcomeKey,
                        objc::string(installOutcomeValue(method.outcome)));
    if (method.outcome == InstallOutcome::typeMismatch) {
      objc::dictionarySet(entry.get(), kReportHostTypesKey, objc::string(method.hostTypes));
      objc::dictionarySet(entry.get(), kReportExpectedTypesKey, objc::string(method.expectedTypes));
    }
    objc::arrayAdd(methods.get(), entry.get());
  }
  objc::dictionarySet(root.get(), kReportMethodsKey, methods.get());
  return root;
}

int writeStateFile(std::string_view path, std::string_view bytes, unsigned mode) {
  const std::string file(path);
  const std::size_t slash = file.rfind('/');
  if (file.empty() || slash == std::string::npos || slash + 1 == file.size()) return EINVAL;
  if (slash > 0) {
    if (const int error = os::makeFolder(file.substr(0, slash).c_str(), kReportFolderMode)) {
      return error;
    }
  }
  return os::writeFileAtomically(file.c_str(), bytes.data(), bytes.size(), mode);
}

int writeExtensionReport(std::string_view path, const ExtensionReport& report) {
  std::optional<std::string> bytes;
  {
    objc::AutoreleasePool pool;
    objc::Ref plist = reportPropertyList(report);
    bytes = objc::propertyListXml(plist.get());
  }
  if (!bytes) return EINVAL;
  return writeStateFile(path, *bytes, kReportFileMode);
}

ReportReading readExtensionReport(std::string_view path) {
  using Status = ReportReading::Status;
  std::string bytes;
  errno = 0;
  switch (os::readFile(std::string(path).c_str(), kMaxReportFileSize, bytes)) {
    case os::ReadStatus::ok: break;
    case os::ReadStatus::missing: return failed(Status::missing, "no report");
    case os::ReadStatus::tooLarge:
      return failed(Status::unreadable,
                    "larger than " + std::to_string(kMaxReportFileSize) + " bytes");
    case os::ReadStatus::failed:
      // A file where the folder should be: there is no report file either.
      if (errno == ENOTDIR) return failed(Status::missing, "no report");
      return failed(Status::unreadable, errno ? std::strerror(errno) : "cannot be read");
  }
  objc::AutoreleasePool pool;
  ReportReading reading;
  try {
    objc::Ref data = objc::makeData(bytes);
    objc::Ref root = objc::parsePropertyList(data.get());
    if (!root) return failed(Status::damaged, "not a property list");
    reading = decode(root.get());
  } catch (...) {
    return failed(Status::damaged, "not a property list");
  }
  return reading;
}

}  // namespace halvernic::contract
