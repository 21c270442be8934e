// UINavigationController, UINavigationBar and UINavigationItem: enough for a host that shows
// a page pushed onto another, as Settings shows a tweak's pane.
//
// The controller's view (a UILayoutContainerView, as UIKit names it) holds the top
// controller's view below the bar, and the bar below the view's safe area (the host's status
// bar). The bar draws iOS 15's standard appearance at the scroll edge: no background of its
// own, the top item's title centred (semibold 17, the label colour) and, when there is a
// page below, the back button at the leading edge: a chevron and the title of the page it
// goes back to (its navigation item's backButtonTitle, else its title), in the tint colour.
// A tap on the back button pops the top page. Pushing and popping are not animated: the
// new page shows at once, with the appearance calls UIKit makes.
#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::sel;
using objc::send;

constexpr double kBarHeight = 44;
constexpr double kBackChevronX = 8;
constexpr CGSize kBackChevronSize{12.5, 21};
constexpr double kBackTitleGap = 6;

struct ItemState {
  objc::Ref title, back_title;
};

struct BarState {
  id controller = nullptr;  // the navigation controller owning the bar (not retained)
  objc::Ref title, back_button, back_chevron;
};

struct ContainerState {
  id controller = nullptr;  // the navigation controller owning the view (not retained)
};

struct NavigationState {
  std::vector<objc::Ref> stack;
  objc::Ref bar, container;
  // Pages, the bar and the view that outlive the controller no longer name it.
  ~NavigationState() {
    for (const objc::Ref& c : stack) objc::storage<ControllerState>(c.get()).parent = nullptr;
    if (bar) objc::storage<BarState>(bar.get()).controller = nullptr;
    if (container) objc::storage<ContainerState>(container.get()).controller = nullptr;
  }
};

ControllerState& controller_state(id self) { return objc::storage<ControllerState>(self); }
NavigationState& navigation_state(id self) { return objc::storage<NavigationState>(self); }
BarState& bar_state(id self) { return objc::storage<BarState>(self); }

// ---- UINavigationItem ----------------------------------------------------------------------
id item_initWithTitle(id self, SEL, id title) {
  self = objc::sendSuper<id>(self, objc::cls("UINavigationItem"), sel("init"));
  if (self) objc::storage<ItemState>(self).title = objc::Ref::retain(title);
  return self;
}
id item_title(id self, SEL) { return objc::storage<ItemState>(self).title.get(); }
void item_setTitle(id self, SEL, id title) {
  objc::storage<ItemState>(self).title = objc::Ref::retain(title);
}
id item_backTitle(id self, SEL) { return objc::storage<ItemState>(self).back_title.get(); }
void item_setBackTitle(id self, SEL, id title) {
  objc::storage<ItemState>(self).back_title = objc::Ref::retain(title);
}

id shown_title(id controller) {
  id title = send<id>(send<id>(controller, sel("navigationItem")), sel("title"));
  return title ? title : send<id>(controller, sel("title"));
}

id back_title(id controller) {
  id title = send<id>(send<id>(controller, sel("navigationItem")), sel("backButtonTitle"));
  return title ? title : shown_title(controller);
}

// ---- UINavigationBar -----------------------------------------------------------------------
void bar_layout(id bar) {
  BarState& b = bar_state(bar);
  const CGRect bounds = view_state(bar).bounds;
  const double width = bounds.size.width, height = bounds.size.height;
  if (b.back_chevron) {
    send(b.back_chevron.get(), sel("setFrame:"),
         CGRectMake(kBackChevronX, (height - kBackChevronSize.height) / 2, kBackChevronSize.width,
                    kBackChevronSize.height));
  }
  if (b.back_button) {
    id label = send<id>(b.back_button.get(), sel("titleLabel"));
    const render::Size text = measure(text_for(label, 1, CGRectMake(0, 0, 0, height)));
    const double left = kBackChevronX + kBackChevronSize.width + kBackTitleGap;
    // The button covers the chevron too: a tap on either goes back.
    send(b.back_button.get(), sel("setFrame:"),
         CGRectMake(0, 0, std::min(left + text.width + 8, width / 3), height));
    send(b.back_button.get(), sel("setTitleEdgeInsets:"), UIEdgeInsets{0, left, 0, 0});
  }
  if (b.title) send(b.title.get(), sel("setFrame:"), CGRectMake(width / 3, 0, width / 3, height));
}
void bar_layoutSubviews(id self, SEL) { bar_layout(self); }

void bar_back(id self, SEL, id) {
  if (id controller = bar_state(self).controller)
    send<id>(controller, sel("popViewControllerAnimated:"), YES);
}

// Shows the top page's title and, with a page below it, the way back.
void bar_update(id bar, const std::vector<objc::Ref>& stack) {
  BarState& b = bar_state(bar);
  if (!b.title) {
    b.title = objc::Ref::adopt(make_view("UILabel", CGRectZero));
    send(b.title.get(), sel("setTextAlignment:"), 1l);
    send(b.title.get(), sel("setFont:"),
         send<id>(objc::cls("UIFont"), sel("systemFontOfSize:weight:"), 17.0, 0.3));
    send(b.title.get(), sel("setTextColor:"), send<id>(objc::cls("UIColor"), sel("labelColor")));
    send(bar, sel("addSubview:"), b.title.get());
  }
  send(b.title.get(), sel("setText:"),
       stack.empty() ? static_cast<id>(nullptr) : shown_title(stack.back().get()));
  const bool back = stack.size() > 1;
  if (back && !b.back_button) {
    b.back_chevron = objc::Ref::adopt(
        send<id>(send<id>(objc::cls("UIImageView"), sel("alloc")), sel("initWithImage:"),
                 chevron_image(false, kBackChevronSize.width, kBackChevronSize.height, 3)));
    send(b.back_chevron.get(), sel("setUserInteractionEnabled:"), NO);
    b.back_button = objc::Ref::retain(send<id>(objc::cls("UIButton"), sel("buttonWithType:"), 1l));
    send(b.back_button.get(), sel("setContentHorizontalAlignment:"), 1l);
    send(send<id>(b.back_button.get(), sel("titleLabel")), sel("setFont:"),
         send<id>(objc::cls("UIFont"), sel("systemFontOfSize:"), 17.0));
    send(b.back_button.get(), sel("addTarget:action:forControlEvents:"), bar,
         own::UINavigationBar::hvBack.get(), 1ul << 6);
    send(bar, sel("addSubview:"), b.back_button.get());
    send(bar, sel("addSubview:"), b.back_chevron.get());
  } else if (!back && b.back_button) {
    send(b.back_button.get(), sel("removeFromSuperview"));
    send(b.back_chevron.get(), sel("removeFromSuperview"));
    b.back_button.reset();
    b.back_chevron.reset();
  }
  if (back) {
    send(b.back_button.get(), sel("setTitle:forState:"), back_title(stack[stack.size() - 2].get()),
         0ul);
  }
  bar_layout(bar);
}

// ---- UINavigationController ----------------------------------------------------------------
void layout_container(id controller) {
  NavigationState& n = navigation_state(controller);
  id view = controller_state(controller).view.get();
  if (!view || !n.bar) return;
  const CGRect bounds = view_state(view).bounds;
  const double top = send<UIEdgeInsets>(view, sel("safeAreaInsets")).top;
  send(n.bar.get(), sel("setFrame:"), CGRectMake(0, top, bounds.size.width, kBarHeight));
  if (!n.stack.empty()) {
    id content = send<id>(n.stack.back().get(), sel("view"));
    const double below = top + kBarHeight;
    send(content, sel("setFrame:"),
         CGRectMake(0, below, bounds.size.width, std::max(0.0, bounds.size.height - below)));
  }
}
void container_layoutSubviews(id self, SEL) {
  if (id controller = objc::storage<ContainerState>(self).controller) layout_container(controller);
}
void container_didMoveToSuperview(id self, SEL) { container_layoutSubviews(self, nullptr); }

id nav_initWithRoot(id self, SEL, id root) {
  self = send<id>(self, sel("initWithNibName:bundle:"), static_cast<id>(nullptr),
                  static_cast<id>(nullptr));
  if (self && root) send(self, sel("pushViewController:animated:"), root, NO);
  return self;
}

void nav_loadView(id self, SEL) {
  const CGRect screen =
      send<CGRect>(send<id>(objc::cls("UIScreen"), sel("mainScreen")), sel("bounds"));
  objc::Ref view = objc::Ref::adopt(make_view("UILayoutContainerView", screen));
  objc::storage<ContainerState>(view.get()).controller = self;
  NavigationState& n = navigation_state(self);
  n.container = view;
  n.bar = objc::Ref::adopt(
      make_view("UINavigationBar", CGRectMake(0, 0, screen.size.width, kBarHeight)));
  bar_state(n.bar.get()).controller = self;
  send(view.get(), sel("addSubview:"), n.bar.get());
  send(self, sel("setView:"), view.get());
  if (!n.stack.empty())
    send(view.get(), sel("insertSubview:atIndex:"), send<id>(n.stack.back().get(), sel("view")),
         0l);
  bar_update(n.bar.get(), n.stack);
  layout_container(self);
}

bool shown(id controller) {
  return controller_state(controller).view &&
         send<id>(controller_state(controller).view.get(), sel("window"));
}

void nav_push(id self, SEL, id controller, BOOL) {
  NavigationState& n = navigation_state(self);
  if (!controller || controller_state(controller).parent) return;
  id previous = n.stack.empty() ? nullptr : n.stack.back().get();
  const bool visible = shown(self);
  if (previous && visible) send(previous, sel("viewWillDisappear:"), NO);
  n.stack.push_back(objc::Ref::retain(controller));
  controller_state(controller).parent = self;
  if (id view = controller_state(self).view.get()) {
    id content = send<id>(controller, sel("view"));
    if (visible) send(controller, sel("viewWillAppear:"), NO);
    if (previous) send(send<id>(previous, sel("view")), sel("removeFromSuperview"));
    send(view, sel("insertSubview:atIndex:"), content, 0l);
    bar_update(n.bar.get(), n.stack);
    layout_container(self);
    if (previous && visible) send(previous, sel("viewDidDisappear:"), NO);
    if (visible) send(controller, sel("viewDidAppear:"), NO);
  }
}

id nav_pop(id self, SEL, BOOL) {
  NavigationState& n = navigation_state(self);
  if (n.stack.size() < 2) return nullptr;
  objc::Ref top = n.stack.back();
  id below = n.stack[n.stack.size() - 2].get();
  const bool visible = shown(self);
  if (visible) {
    send(top.get(), sel("viewWillDisappear:"), NO);
    send(below, sel("viewWillAppear:"), NO);
  }
  n.stack.pop_back();
  controller_state(top.get()).parent = nullptr;
  send(send<id>(top.get(), sel("view")), sel("removeFromSuperview"));
  if (id view = controller_state(self).view.get()) {
    send(view, sel("insertSubview:atIndex:"), send<id>(below, sel("view")), 0l);
    bar_update(n.bar.get(), n.stack);
    layout_container(self);
  }
  if (visible) {
    send(top.get(), sel("viewDidDisappear:"), NO);
    send(below, sel("viewDidAppear:"), NO);
  }
  return objc::autorelease(top.leak());
}

id nav_viewControllers(id self, SEL) {
  objc::Ref array = objc::makeMutableArray();
  for (const objc::Ref& c : navigation_state(self).stack) objc::arrayAdd(array.get(), c.get());
  return objc::autorelease(array.leak());
}
id nav_top(id self, SEL) {
  NavigationState& n = navigation_state(self);
  return n.stack.empty() ? nullptr : n.stack.back().get();
}
id nav_bar(id self, SEL) {
  send<id>(self, sel("view"));
  return navigation_state(self).bar.get();
}
void nav_viewWillAppear(id self, SEL, BOOL animated) {
  if (id top = nav_top(self, nullptr)) send(top, sel("viewWillAppear:"), animated);
}
void nav_viewDidAppear(id self, SEL, BOOL animated) {
  if (id top = nav_top(self, nullptr)) send(top, sel("viewDidAppear:"), animated);
}
void nav_traitCollectionDidChange(id self, SEL, id previous) {
  if (id top = nav_top(self, nullptr)) send(top, sel("traitCollectionDidChange:"), previous);
}
}  // namespace

void register_navigation() {
  objc::ClassBuilder("UINavigationItem", "NSObject")
      .storage<ItemState>()
      .method(ui::UINavigationItem::initWithTitle, &item_initWithTitle)
      .method(ui::UINavigationItem::title, &item_title)
      .method(ui::UINavigationItem::setTitle, &item_setTitle)
      .method(ui::UINavigationItem::backButtonTitle, &item_backTitle)
      .method(ui::UINavigationItem::setBackButtonTitle, &item_setBackTitle)
      .build();
  objc::ClassBuilder("UINavigationBar", "UIView")
      .storage<BarState>()
      .method(ui::UIView::layoutSubviews, &bar_layoutSubviews)
      .method(own::UINavigationBar::hvBack, &bar_back)
      .build();
  objc::ClassBuilder("UILayoutContainerView", "UIView")
      .storage<ContainerState>()
      .method(ui::UIView::layoutSubviews, &container_layoutSubviews)
      .method(ui::UIView::didMoveToSuperview, &container_didMoveToSuperview)
      .build();
  objc::ClassBuilder("UINavigationController", "UIViewController")
      .storage<NavigationState>()
      .method(ui::UINavigationController::initWithRootViewController, &nav_initWithRoot)
      .method(ui::UIViewController::loadView, &nav_loadView)
      .method(ui::UINavigationController::pushViewController_animated, &nav_push)
      .method(ui::UINavigationController::popViewControllerAnimated, &nav_pop)
      .method(ui::UINavigationController::viewControllers, &nav_viewControllers)
      .method(ui::UINavigationController::topViewController, &nav_top)
      .method(ui::UINavigationController::visibleViewController, &nav_top)
      .method(ui::UINavigationController::navigationBar, &nav_bar)
      .method(ui::UIViewController::viewWillAppear, &nav_viewWillAppear)
      .method(ui::UIViewController::viewDidAppear, &nav_viewDidAppear)
      .method(ui::UIViewController::traitCollectionDidChange, &nav_traitCollectionDidChange)
      .build();
}

}  // namespace hv::uikit
