// The module's classes exist from the moment Control Center loads the bundle, before it asks
// the bundle for its principal class.
#include "ccmodule/classes.hpp"
#include "common/objc/ref.hpp"

namespace {

__attribute__((constructor)) void registerModuleClasses() {
  objc::AutoreleasePool pool;
  halvernic::ccmodule::registerViewControllerClass();
  halvernic::ccmodule::registerModuleClass();
}

}  // namespace
