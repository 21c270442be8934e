#include "extension/startup/initialisers.hpp"

#include <crt_externs.h>

#include "common/objc/ref.hpp"
#include "common/objc/thread.hpp"
#include "extension/contract/report.hpp"
#include "extension/policy/power_helper.hpp"
#include "extension/replacements/replacements.hpp"
#include "extension/report/recorder.hpp"
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

// The report's second writing, with the mode the first application applied.
void reportFirstApplication(contract::PowerMode applied) {
  report::Recorder::shared().firstApplication(applied);
}

}  // namespace

bool runMethodReplacementConstructor() {
  if (!isHostProcess(firstArgument())) return false;
  replacements::installMethodReplacements(replacements::hostClassesByName(),
                                          report::Recorder::shared().replacementObserver());
  return true;
}

void runLoadTimeInitialisers() {
  // The loading thread may be one the Foundation has not seen yet.
  objc::attach_current_thread();
  objc::AutoreleasePool pool;
  // Before anything can apply the settings (a notification may arrive as soon as the
  // observers are registered); the recorder writes nothing before start-up is complete.
  HPowerHepler::setFirstApplicationObserver(&reportFirstApplication);
  activateHooks();
  if (runMethodReplacementConstructor()) {
    report::Recorder::shared().startUpComplete(contract::resolved_report_path());
  }
}

}  // namespace halvernic::startup
