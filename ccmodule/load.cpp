// The module's classes exist from the moment Control Center loads the bundle, before it asks
// the bundle for its principal class.
#include "ccmodule/classes.hpp"
#include "common/objc/ref.hpp"

namespace {

__attribute__((constructor)) void register_module_classes() {
  objc::AutoreleasePool pool;
  halvernic::ccmodule::register_view_controller_class();
  halvernic::ccmodule::register_module_class();
}

}  // namespace
