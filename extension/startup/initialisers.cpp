#include "extension/startup/initialisers.hpp"

#include <crt_externs.h>
#include <dispatch/dispatch.h>

#include "common/objc/ref.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/report.hpp"
#include "extension/policy/power_helper.hpp"
#include "extension/replacements/replacements.hpp"
#include "extension/report/recorder.hpp"
#include "extension/startup/darwin_observers.hpp"
#include "extension/startup/hook_set.hpp"
#include "extension/startup/tweak.hpp"

namespace halvernic::startup {

std::string_view processNamePart(const char* argument) noexcept {
  if (!argument) return {};
  std::string_view whole(argument);
  const std::size_t slash = whole.rfind('/');
  return slash == std::string_view::npos ? whole : whole.substr(slash + 1);
}

bool isHostProcess(const char* firstArgument) noexcept {
  return processNamePart(firstArgument) == kHostProcessName;
}

void activateHooks() { hook::activate<HalvernicTInit>(hookSet()); }

namespace {

const char* firstArgument() noexcept {
  char*** argv = _NSGetArgv();
  return (argv && *argv) ? (*argv)[0] : nullptr;
}

contract::OverheatReport overheatReport() {
  const HPowerHepler::OverheatStatus status = HPowerHepler::shared().overheatStatus();
  contract::OverheatReport report;
  report.enabled = status.enabled;
  report.engaged = status.engaged;
  report.batteryCentiCelsius = status.lastReading;
  report.readAt = status.lastReadingWall;
  return report;
}

// The report's second writing, with the mode the first application applied.
void reportFirstApplication(contract::PowerMode applied) {
  report::Recorder& recorder = report::Recorder::shared();
  recorder.setOverheat(overheatReport());
  recorder.firstApplication(applied);
}

void writeOverheatReport(void*) {
  objc::runAttached([] { report::Recorder::shared().overheatChanged(overheatReport()); });
}

// The overheat protection changed (or read the battery for the first time): the daemon's
// objects are brought to the new state as after a front-end's change (the delayed
// re-applications; the change's own caller applies at once), a change of the mode in force
// restarts the daemon under the restart rule, and the report is written again, off the
// daemon's thread.
void overheatChanged(const HPowerHepler::OverheatEvent& event) {
  if (event.kind != HPowerHepler::OverheatEvent::Kind::firstReading) {
    HPowerHepler::shared().scheduleReapplications();
  }
  if (event.modeChanged) requestRestart();
  dispatch_async_f(dispatch_get_global_queue(QOS_CLASS_DEFAULT, 0), nullptr, &writeOverheatReport);
}

}  // namespace

bool runMethodReplacementConstructor() {
  if (!isHostProcess(firstArgument())) return false;
  // The engine exists before the daemon's first replaced call: the replacement layer learns
  // from it, without making it, whether the overheat protection a previous launch left
  // engaged still is.
  HPowerHepler::shared();
  replacements::installMethodReplacements(replacements::hostClassesByName(),
                                          report::Recorder::shared().replacementObserver());
  return true;
}

void runLoadTimeInitialisers() {
  // The daemon's throttle interval runs from here (launchd started the process earlier).
  noteLibraryLoaded();
  // The loading thread may be one the Foundation has not seen yet.
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;
  // Before anything can apply the settings (a notification may arrive as soon as the
  // observers are registered); the recorder writes nothing before start-up is complete.
  HPowerHepler::setFirstApplicationObserver(&reportFirstApplication);
  HPowerHepler::setOverheatObserver(&overheatChanged);
  // The engine is made here, on the loading thread, before the hooks' initialiser registers
  // the observers. Made first by a notification's handler, it would resolve its paths on the
  // delivery thread, which loads libroot and so waits for the loader's lock, held by this
  // thread until the constructors return, while this thread waits for the engine.
  if (isHostProcess(firstArgument())) HPowerHepler::shared();
  activateHooks();
  if (runMethodReplacementConstructor()) {
    report::Recorder& recorder = report::Recorder::shared();
    recorder.setOverheat(overheatReport());
    recorder.startUpComplete(contract::resolvedReportPath());
  }
}

}  // namespace halvernic::startup
