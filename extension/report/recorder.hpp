// What the extension tells about its own process: every hook and replacement and what
// became of it, logged as it is skipped and written to the report file (contract/report.hpp)
// after start-up and once more after the first application of the settings.
//
//   Recorder& recorder = Recorder::shared();
//   hook::activate<HalvernicTInit>(...);           // the tweak records through hookObserver()
//   installMethodReplacements(..., recorder.replacementObserver());
//   recorder.startUpComplete(contract::resolvedReportPath());   // writes the report
//   ...
//   recorder.firstApplication(mode);               // writes it again, once, with the mode
//
// Log lines (the platform's NSLog), one per skip, as the hook layer describes it:
//   "halvernic: MitigationControllerHook: no class MitigationController"
//   "halvernic: MitigationControllerHook: no method -[MitigationController setDVD1Level:]"
//   "halvernic: MitigationControllerHook: other types for -[MitigationController CPULevel]:
//    host q16@0:8, expected i@:"   (one line)
//   "halvernic: replacements: no method -[ThermalManager thermalPressure:]"
// and one per report that could not be written:
//   "halvernic: no report at <path>: <reason>"
// A report that cannot be written (a sandbox, a read-only folder) changes nothing else. It is
// written after start-up, after the first application, and again whenever the overheat
// protection changes (a few times an hour at most).
//
// Threads: recording happens on the loading thread; the first application may run on any
// thread, at the same time. A lock guards the record and is held while the file is written
// (twice per process at most); no hot path ever takes it.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "extension/contract/report.hpp"
#include "extension/hooking/hook.hpp"

namespace halvernic::report {

class Recorder {
public:
  Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // The process's recorder, made on first use and never destroyed.
  static Recorder& shared();

  // A hook or replacement in place.
  void recordInstalled(contract::ReportLayer layer, const hook::ClassHook& hook,
                       const hook::Replacement& replacement);
  // One that was skipped (a missing class stands for each of its hook's replacements):
  // logged, then recorded.
  void recordSkipped(contract::ReportLayer layer, const hook::HookError& error);

  // Observers that record the replacement layer's (hook layer's) installation here.
  hook::InstallObserver& replacementObserver() noexcept { return replacementObserver_; }
  hook::InstallObserver& hookObserver() noexcept { return hookObserver_; }

  // Installation is over: from now on the report is written to path, at once and again at
  // the first application. Answers whether this writing succeeded. Called once.
  bool startUpComplete(std::string path);
  // The process's first application of the settings applied mode: recorded, and the report
  // written again when start-up is complete (else start-up writes it). Later calls change
  // nothing. Answers whether a report was written now.
  bool firstApplication(contract::PowerMode mode);

  // The overheat protection as the report tells it from now on (nothing is written).
  void setOverheat(const contract::OverheatReport& overheat);
  // The protection changed: recorded, and the report written again when start-up is
  // complete. Answers whether a report was written now.
  bool overheatChanged(const contract::OverheatReport& overheat);

  // The report as it would be written now (pid, version and time filled in).
  contract::ExtensionReport current() const;

private:
  class Observer : public hook::InstallObserver {
  public:
    Observer(Recorder& recorder, contract::ReportLayer layer)
        : recorder_(recorder), layer_(layer) {}
    void handleError(const hook::HookError& error) override {
      recorder_.recordSkipped(layer_, error);
    }
    void didInstall(const hook::ClassHook& hook, const hook::Replacement& replacement) override {
      recorder_.recordInstalled(layer_, hook, replacement);
    }

  private:
    Recorder& recorder_;
    contract::ReportLayer layer_;
  };

  contract::ExtensionReport currentLocked() const;
  bool writeLocked();

  Observer replacementObserver_{*this, contract::ReportLayer::replacement};
  Observer hookObserver_{*this, contract::ReportLayer::hook};

  mutable std::mutex mutex_;
  contract::ExtensionReport report_;
  std::string path_;  // set once start-up is complete
  bool startUpComplete_ = false;
  bool applied_ = false;
};

}  // namespace halvernic::report
