// HalvernicCCModule: the object Control Center makes from the bundle. It owns the content
// view controller, made in init; it has no background view controller.
#include "ccmodule/classes.hpp"

#include "common/objc/class_builder.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/controlcenter.hpp"
#include "common/ui/uikit.hpp"

namespace halvernic::ccmodule {

namespace {

// Ivar names as Control Center's own modules spell them (the background one without an
// underscore).
constexpr char kContentViewControllerIvar[] = "_contentViewController";
constexpr char kBackgroundViewControllerIvar[] = "backgroundViewController";

Class g_module_class = nullptr;

id moduleInit(id self, SEL) {
  self = ui::NSObject::init.sendSuper(self, g_module_class);
  if (!self) return nullptr;
  objc::Ref controller = objc::Ref::adopt(
      ui::NSObject::init.send(ui::NSObject::alloc.send(objc::cls(kViewControllerClassName))));
  objc::setIvar(self, kContentViewControllerIvar, controller.get());
  return self;
}

id moduleContentViewController(id self, SEL) {
  return objc::getIvar(self, kContentViewControllerIvar);
}

id moduleBackgroundViewController(id self, SEL) {
  return objc::getIvar(self, kBackgroundViewControllerIvar);
}

}  // namespace

Class registerModuleClass() {
  if (g_module_class) return g_module_class;
  objc::ClassBuilder builder(kModuleClassName, "NSObject");
  builder.ivar(kContentViewControllerIvar)
      .ivar(kBackgroundViewControllerIvar)
      .method(ui::NSObject::init, &moduleInit)
      .method(ui::CCUIContentModule::contentViewController, &moduleContentViewController)
      .method(ui::CCUIContentModule::backgroundViewController, &moduleBackgroundViewController);
  // Control Center knows the protocol before it loads any module; should it ever not, the
  // class is made all the same rather than taking SpringBoard down with the bundle.
  if (objc_getProtocol(ui::kCCUIContentModuleProtocol))
    builder.protocol(ui::kCCUIContentModuleProtocol);
  g_module_class = builder.build();
  return g_module_class;
}

}  // namespace halvernic::ccmodule
