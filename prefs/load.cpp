// The bundle's classes exist from the moment the host loads it, before the host asks for
// the principal class.
#include "common/objc/ref.hpp"
#include "prefs/controller.hpp"

namespace {

__attribute__((constructor)) void registerPaneClasses() {
  objc::AutoreleasePool pool;
  halvernic::prefs::registerControllerClasses();
}

}  // namespace
