#include "extension/startup/initialisers.hpp"

#include <crt_externs.h>

#include "common/objc/ref.hpp"
#include "common/objc/thread.hpp"
#include "extension/replacements/replacements.hpp"
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

bool runMethodReplacementConstructor() {
  char*** argv = _NSGetArgv();
  const char* first = (argv && *argv) ? (*argv)[0] : nullptr;
  if (!isHostProcess(first)) return false;
  replacements::installMethodReplacements(replacements::hostClassesByName());
  return true;
}

void runLoadTimeInitialisers() {
  // The daemon's throttle interval runs from here (launchd started the process earlier).
  noteLibraryLoaded();
  // The loading thread may be one the Foundation has not seen yet.
  objc::attach_current_thread();
  objc::AutoreleasePool pool;
  activateHooks();
  runMethodReplacementConstructor();
}

}  // namespace halvernic::startup
