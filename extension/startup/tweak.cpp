#include "extension/startup/tweak.hpp"

#include "extension/startup/darwin_observers.hpp"

void HalvernicTInit::init() { halvernic::startup::registerDarwinObservers(this); }
