// The stand-in's classes, made once the library is loaded (load.mm), superclasses first, as
// the framework's exist on a device before any module bundle loads.
#include "common/objc/ref.hpp"
#include "platform/controlcenter/internal.hpp"

namespace hv_controlcenter {

void register_classes() {
  objc::AutoreleasePool pool;
  register_menu_item_class();
  register_menu_item_view_class();
  register_button_module_class();
  register_menu_module_class();
}

}  // namespace hv_controlcenter
