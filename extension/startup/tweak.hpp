// HalvernicTInit: the extension's tweak. The hook layer makes its one instance at
// activation and never destroys it; the instance is the observer of the three Darwin
// notifications, so they stay registered for the life of the process.
#pragma once

#include "extension/hooking/hook.hpp"

class HalvernicTInit : public halvernic::hook::Tweak {
public:
  // Registers the three Darwin observers, in order, and does nothing else (no preference
  // is read here). tweakDidActivate and handleError keep the hook layer's defaults.
  void init() override;
};
