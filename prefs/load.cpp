// The bundle's classes exist from the moment the host loads it, before the host asks for
// the principal class.
#include "common/objc/ref.hpp"
#include "prefs/controller.hpp"

namespace {

__attribute__((constructor)) void register_pane_classes() {
  objc::AutoreleasePool pool;
  halvernic::prefs::register_controller_classes();
}

}  // namespace
