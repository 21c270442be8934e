// HalvernicTInit: the extension's tweak. The hook layer makes its one instance at
// activation and never destroys it; the instance is the observer of the three Darwin
// notifications, so they stay registered for the life of the process.
#pragma once

#include "extension/hooking/hook.hpp"

class HalvernicTInit : public halvernic::hook::Tweak {
public:
  // Registers the three Darwin observers, in order, and does nothing else (no preference
  // is read here). tweakDidActivate keeps the hook layer's default.
  void init() override;
  // Logs the hook that could not be installed ("halvernic: <what>", the platform's log)
  // and records it for the process's report (extension/report).
  void handleError(const halvernic::hook::HookError& error) override;
  // Records the hook in place for the report.
  void didInstall(const halvernic::hook::ClassHook& hook,
                  const halvernic::hook::Replacement& replacement) override;
};
