#include "extension/startup/tweak.hpp"

#include "extension/report/recorder.hpp"
#include "extension/startup/darwin_observers.hpp"

void HalvernicTInit::init() { halvernic::startup::registerDarwinObservers(this); }

void HalvernicTInit::handleError(const halvernic::hook::HookError& error) {
  halvernic::report::Recorder::shared().hookObserver().handleError(error);
}

void HalvernicTInit::didInstall(const halvernic::hook::ClassHook& hook,
                                const halvernic::hook::Replacement& replacement) {
  halvernic::report::Recorder::shared().hookObserver().didInstall(hook, replacement);
}
