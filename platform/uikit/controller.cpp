// UIViewController: view loading through loadView and viewDidLoad, appearance calls,
// the initialisers, and its place in a navigation controller (navigation.cpp).
#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::sel;
using objc::send;

ControllerState& state(id self) { return objc::storage<ControllerState>(self); }

id vc_initWithNibName(id self, SEL, id, id) {
  return objc::sendSuper<id>(self, objc::cls("UIViewController"), sel("init"));
}
id vc_initWithCoder(id self, SEL, id) {
  return objc::sendSuper<id>(self, objc::cls("UIViewController"), sel("init"));
}
id vc_init(id self, SEL) {
  return send<id>(self, sel("initWithNibName:bundle:"), static_cast<id>(nullptr),
                  static_cast<id>(nullptr));
}
void vc_loadView(id self, SEL) {
  objc::Ref view = objc::Ref::adopt(make_view(
      "UIView", send<CGRect>(send<id>(objc::cls("UIScreen"), sel("mainScreen")), sel("bounds"))));
  send(self, sel("setView:"), view.get());
}
// The view, loaded on first use: loadView, then viewDidLoad.
id vc_view(id self, SEL) {
  if (!state(self).view) {
    send(self, sel("loadView"));
    if (state(self).view) send(self, sel("viewDidLoad"));
  }
  return state(self).view.get();
}
void vc_setView(id self, SEL, id view) { state(self).view = objc::Ref::retain(view); }
id vc_viewIfLoaded(id self, SEL) { return state(self).view.get(); }
BOOL vc_isViewLoaded(id self, SEL) { return objc::toBool(static_cast<bool>(state(self).view)); }
void vc_loadViewIfNeeded(id self, SEL) { send<id>(self, sel("view")); }
void vc_noop(id, SEL) {}
void vc_noop_flag(id, SEL, BOOL) {}
id vc_title(id self, SEL) { return state(self).title.get(); }
void vc_setTitle(id self, SEL, id title) {
  state(self).title = objc::makeString(objc::toString(title));
}
id vc_traitCollection(id self, SEL) {
  id view = state(self).view.get();
  return view ? send<id>(view, sel("traitCollection")) : current_trait_collection();
}
CGSize vc_preferred(id self, SEL) { return state(self).preferred_content_size; }
void vc_setPreferred(id self, SEL, CGSize s) { state(self).preferred_content_size = s; }
id vc_parent(id self, SEL) { return state(self).parent; }
id vc_navigationController(id self, SEL) {
  for (id c = state(self).parent; c; c = state(c).parent) {
    if (is_kind(c, "UINavigationController")) return c;
  }
  return nullptr;
}
// The item follows the controller's title until it is given one of its own.
id vc_navigationItem(id self, SEL) {
  ControllerState& s = state(self);
  if (!s.navigation_item) {
    s.navigation_item =
        objc::Ref::adopt(send<id>(send<id>(objc::cls("UINavigationItem"), sel("alloc")),
                                  sel("initWithTitle:"), static_cast<id>(nullptr)));
  }
  return s.navigation_item.get();
}

}  // namespace

void register_controller() {
  objc::ClassBuilder("UIViewController", "UIResponder")
      .storage<ControllerState>()
      .method(ui::NSObject::init, &vc_init)
      .method(ui::UIViewController::initWithNibName_bundle, &vc_initWithNibName)
      .method(ui::UIViewController::initWithCoder, &vc_initWithCoder)
      .method(ui::UIViewController::view, &vc_view)
      .method(ui::UIViewController::setView, &vc_setView)
      .method(ui::UIViewController::viewIfLoaded, &vc_viewIfLoaded)
      .method(ui::UIViewController::isViewLoaded, &vc_isViewLoaded)
      .method(ui::UIViewController::loadView, &vc_loadView)
      .method(ui::UIViewController::loadViewIfNeeded, &vc_loadViewIfNeeded)
      .method(ui::UIViewController::viewDidLoad, &vc_noop)
      .method(ui::UIViewController::viewWillAppear, &vc_noop_flag)
      .method(ui::UIViewController::viewDidAppear, &vc_noop_flag)
      .method(ui::UIViewController::viewWillDisappear, &vc_noop_flag)
      .method(ui::UIViewController::viewDidDisappear, &vc_noop_flag)
      .method(ui::UIViewController::title, &vc_title)
      .method(ui::UIViewController::setTitle, &vc_setTitle)
      .method(ui::UIViewController::traitCollection, &vc_traitCollection)
      .method(
          ui::UIViewController::traitCollectionDidChange, +[](id, SEL, id) {})
      .method(ui::UIViewController::preferredContentSize, &vc_preferred)
      .method(ui::UIViewController::setPreferredContentSize, &vc_setPreferred)
      .method(ui::UIViewController::parentViewController, &vc_parent)
      .method(ui::UIViewController::navigationController, &vc_navigationController)
      .method(ui::UIViewController::navigationItem, &vc_navigationItem)
      .build();
}

}  // namespace hv::uikit
