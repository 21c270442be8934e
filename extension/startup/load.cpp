// The library's one load-time constructor. Compiled into the halvernic library only, so
// that programs linking the start-up code for tests do not run it.
#include "extension/startup/initialisers.hpp"

namespace {
__attribute__((constructor)) void halvernicLoad() { halvernic::startup::runLoadTimeInitialisers(); }
}  // namespace
