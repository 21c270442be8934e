#include "extension/report/recorder.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/os/clock.hpp"

namespace halvernic::report {

namespace {

contract::ReportedMethod reported(contract::ReportLayer layer, const hook::ClassHook& hook,
                                  const hook::Replacement& replacement,
                                  contract::InstallOutcome outcome) {
  contract::ReportedMethod method;
  method.layer = layer;
  method.owner = hook.name();
  method.className = hook.targetName();
  method.selector = replacement.selector->name();
  method.classMethod = replacement.class_method;
  method.outcome = outcome;
  return method;
}

}  // namespace

Recorder::Recorder() = default;

Recorder& Recorder::shared() {
  static Recorder* recorder = new Recorder();  // never destroyed: the process's record
  return *recorder;
}

void Recorder::recordInstalled(contract::ReportLayer layer, const hook::ClassHook& hook,
                               const hook::Replacement& replacement) {
  contract::ReportedMethod method =
      reported(layer, hook, replacement, contract::InstallOutcome::installed);
  std::lock_guard lock(mutex_);
  report_.methods.push_back(std::move(method));
}

void Recorder::recordSkipped(contract::ReportLayer layer, const hook::HookError& error) {
  if (!error.hook) return;
  {
    objc::AutoreleasePool pool;
    objc::log("halvernic: %@", objc::string(error.description()));
  }
  std::vector<contract::ReportedMethod> methods;
  switch (error.kind) {
    case hook::HookError::Kind::targetClassNotFound:
      for (const hook::Replacement& replacement : error.hook->replacements()) {
        methods.push_back(
            reported(layer, *error.hook, replacement, contract::InstallOutcome::missingClass));
      }
      break;
    case hook::HookError::Kind::methodNotFound:
      if (!error.replacement) return;
      methods.push_back(reported(layer, *error.hook, *error.replacement,
                                 contract::InstallOutcome::missingMethod));
      break;
    case hook::HookError::Kind::typeMismatch: {
      if (!error.replacement) return;
      contract::ReportedMethod method =
          reported(layer, *error.hook, *error.replacement, contract::InstallOutcome::typeMismatch);
      method.hostTypes = error.hostTypes ? error.hostTypes : "";
      const char* expected = error.expectedTypes();
      method.expectedTypes = expected ? expected : "";
      methods.push_back(std::move(method));
      break;
    }
  }
  std::lock_guard lock(mutex_);
  for (contract::ReportedMethod& method : methods) report_.methods.push_back(std::move(method));
}

contract::ExtensionReport Recorder::currentLocked() const {
  contract::ExtensionReport report = report_;
  report.formatVersion = contract::kReportFormatVersion;
  report.version = contract::projectVersion();
  report.pid = ::getpid();
  report.writtenAt = os::wallClockNanoseconds() / 1'000'000'000;
  return report;
}

contract::ExtensionReport Recorder::current() const {
  std::lock_guard lock(mutex_);
  return currentLocked();
}

bool Recorder::writeLocked() {
  const int error = path_.empty() ? ENOENT : contract::writeExtensionReport(path_, currentLocked());
  if (error == 0) return true;
  objc::AutoreleasePool pool;
  objc::log("halvernic: no report at %@: %@", objc::string(path_.empty() ? "?" : path_),
            objc::string(std::strerror(error)));
  return false;
}

bool Recorder::startUpComplete(std::string path) {
  std::lock_guard lock(mutex_);
  if (startUpComplete_) return false;
  startUpComplete_ = true;
  path_ = std::move(path);
  return writeLocked();
}

void Recorder::setOverheat(const contract::OverheatReport& overheat) {
  std::lock_guard lock(mutex_);
  report_.overheat = overheat;
}

bool Recorder::overheatChanged(const contract::OverheatReport& overheat) {
  std::lock_guard lock(mutex_);
  report_.overheat = overheat;
  return startUpComplete_ && writeLocked();
}

bool Recorder::firstApplication(contract::PowerMode mode) {
  std::lock_guard lock(mutex_);
  if (applied_) return false;
  applied_ = true;
  report_.appliedMode = mode;
  return startUpComplete_ && writeLocked();
}

}  // namespace halvernic::report
