// CCUIButtonModuleViewController: the collapsed tile, a platter with a glyph that lights up
// while the module is selected. A tap on the tile sends buttonTapped:forEvent: to the
// controller; this class's own version only records the call: the module's state is its own.
#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/controlcenter.hpp"
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"
#include "hvplatform/controlcenter_testing.h"
#include "platform/controlcenter/internal.hpp"

namespace hv_controlcenter {

namespace {

namespace button = ui::CCUIButtonModuleViewController;
namespace content = ui::CCUIContentModuleContentViewController;

Class g_class = nullptr;
Class g_root_view_class = nullptr;

// The controller's view: it lays the module out whenever UIKit lays it out (a new size).
struct RootViewState {
  id controller = nullptr;  // owns the view; cleared when the controller goes
};

struct ButtonState {
  objc::Ref glyphImage, glyphColor, selectedGlyphImage, selectedGlyphColor, glyphState;
  bool selected = false;
  bool expanded = false;
  // The tile: a platter, and the button holding the glyph.
  objc::Ref platter, button, glyphView;
  // buttonTapped:forEvent: as received here.
  int taps = 0;
  objc::Ref lastSender, lastEvent;
  // The root view may outlive the controller (kept by a superview): it forgets the controller
  // with it.
  objc::Ref rootView;
  ~ButtonState() {
    if (rootView) objc::storage<RootViewState>(rootView.get()).controller = nullptr;
  }
};

ButtonState& state(id self) { return objc::storage<ButtonState>(self); }

objc::Ref copy_of(id object) { return objc::Ref::adopt(ui::NSObject::copy.send(object)); }

// The glyph and the platter follow the selection: white on the material, or the selected
// colour on a lit platter. Expanded, the module sits on the material whatever its state.
void update_tile(id self) {
  ButtonState& tile = state(self);
  if (!tile.glyphView) return;
  const bool lit = tile.selected && !tile.expanded;
  id image = lit && tile.selectedGlyphImage ? tile.selectedGlyphImage.get() : tile.glyphImage.get();
  id tint = lit ? tile.selectedGlyphColor.get() : tile.glyphColor.get();
  if (!tint) tint = ui::UIColor::whiteColor.send(ui::kUIColor);
  ui::UIImageView::setImage.send(
      tile.glyphView.get(),
      ui::UIImage::imageWithRenderingMode.send(image, ui::UIImageRenderingModeAlwaysTemplate));
  ui::UIView::setTintColor.send(tile.glyphView.get(), tint);
  ui::UIView::setBackgroundColor.send(tile.platter.get(),
                                      lit ? selected_platter_color() : material_color());
}

void layout_tile(id self) {
  ButtonState& tile = state(self);
  id view = ui::UIViewController::view.send(self);
  const CGRect bounds = ui::UIView::bounds.send(view);
  ui::UIView::setFrame.send(tile.platter.get(), bounds);
  ui::UIView::setFrame.send(tile.button.get(), bounds);
  const CGFloat side = kHeaderGlyphSide;
  ui::UIView::setFrame.send(
      tile.glyphView.get(),
      CGRect{{(bounds.size.width - side) / 2, (bounds.size.height - side) / 2}, {side, side}});
}

// ---- the root view -------------------------------------------------------------------------

void root_view_layout_subviews(id self, SEL) {
  ui::UIView::layoutSubviews.sendSuper(self, g_root_view_class);
  layout_module(objc::storage<RootViewState>(self).controller);
}

// ---- methods ---------------------------------------------------------------------------

void load_view(id self, SEL) {
  objc::Ref view = objc::Ref::adopt(ui::UIView::initWithFrame.send(
      ui::NSObject::alloc.send(g_root_view_class), CGRect{{0, 0}, {70, 70}}));
  objc::storage<RootViewState>(view.get()).controller = self;
  state(self).rootView = view;
  ui::UIViewController::setView.send(self, view.get());
}

void view_did_load(id self, SEL) {
  ui::UIViewController::viewDidLoad.sendSuper(self, g_class);
  objc::AutoreleasePool pool;
  ButtonState& tile = state(self);
  id view = ui::UIViewController::view.send(self);
  const CGRect zero{};
  tile.platter =
      objc::Ref::adopt(ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIView), zero));
  ui::CALayer::setCornerRadius.send(ui::UIView::layer.send(tile.platter.get()), kTileCornerRadius);
  tile.button = objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIControl), zero));
  ui::UIControl::addTarget_action_forControlEvents.send(tile.button.get(), self,
                                                        objc::sel("buttonTapped:forEvent:"),
                                                        ui::UIControlEventTouchUpInside);
  tile.glyphView = objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIImageView), zero));
  ui::UIView::setUserInteractionEnabled.send(tile.glyphView.get(), NO);
  ui::UIView::addSubview.send(view, tile.platter.get());
  ui::UIView::addSubview.send(view, tile.button.get());
  ui::UIView::addSubview.send(tile.button.get(), tile.glyphView.get());
  update_tile(self);
}

id glyph_image(id self, SEL) { return state(self).glyphImage.get(); }
void set_glyph_image(id self, SEL, id image) {
  state(self).glyphImage = objc::Ref::retain(image);
  update_tile(self);
}
id glyph_color(id self, SEL) { return state(self).glyphColor.get(); }
void set_glyph_color(id self, SEL, id color) {
  state(self).glyphColor = objc::Ref::retain(color);
  update_tile(self);
}
id selected_glyph_image(id self, SEL) { return state(self).selectedGlyphImage.get(); }
void set_selected_glyph_image(id self, SEL, id image) {
  state(self).selectedGlyphImage = objc::Ref::retain(image);
  update_tile(self);
}
id selected_glyph_color(id self, SEL) { return state(self).selectedGlyphColor.get(); }
void set_selected_glyph_color(id self, SEL, id color) {
  state(self).selectedGlyphColor = objc::Ref::retain(color);
  update_tile(self);
}
id glyph_state(id self, SEL) { return state(self).glyphState.get(); }
void set_glyph_state(id self, SEL, id glyph_state) {
  state(self).glyphState = copy_of(glyph_state);
}
BOOL is_selected(id self, SEL) { return objc::toBool(state(self).selected); }
void set_selected(id self, SEL, BOOL selected) {
  state(self).selected = objc::fromBool(selected);
  update_tile(self);
}
BOOL is_expanded(id self, SEL) { return objc::toBool(state(self).expanded); }
void set_expanded(id self, SEL, BOOL expanded) {
  state(self).expanded = objc::fromBool(expanded);
  update_tile(self);
}

void button_tapped_for_event(id self, SEL, id sender, id event) {
  ButtonState& tile = state(self);
  ++tile.taps;
  tile.lastSender = objc::Ref::retain(sender);
  tile.lastEvent = objc::Ref::retain(event);
}

CGFloat preferred_expanded_content_height(id, SEL) { return 0; }
CGFloat preferred_expanded_content_width(id, SEL) { return kExpandedWidth; }
BOOL should_begin_transition(id, SEL) { return YES; }
void will_transition(id self, SEL, BOOL expanded) {
  state(self).expanded = objc::fromBool(expanded);
  update_tile(self);
}
void did_transition(id, SEL, BOOL) {}
void control_center_will_present(id, SEL) {}
void control_center_did_dismiss(id, SEL) {}
BOOL provides_own_platter(id, SEL) { return NO; }

}  // namespace

void register_button_module_class() {
  if (g_class) return;
  g_root_view_class = objc::ClassBuilder("HVCCUIModuleRootView", "UIView")
                          .storage<RootViewState>()
                          .method(ui::UIView::layoutSubviews, &root_view_layout_subviews)
                          .build();
  g_class =
      objc::ClassBuilder("CCUIButtonModuleViewController", "UIViewController")
          .storage<ButtonState>()
          .protocol(ui::kCCUIContentModuleContentViewControllerProtocol)
          .method(ui::UIViewController::loadView, &load_view)
          .method(ui::UIViewController::viewDidLoad, &view_did_load)
          .method(button::glyphImage, &glyph_image)
          .method(button::setGlyphImage, &set_glyph_image)
          .method(button::glyphColor, &glyph_color)
          .method(button::setGlyphColor, &set_glyph_color)
          .method(button::selectedGlyphImage, &selected_glyph_image)
          .method(button::setSelectedGlyphImage, &set_selected_glyph_image)
          .method(button::selectedGlyphColor, &selected_glyph_color)
          .method(button::setSelectedGlyphColor, &set_selected_glyph_color)
          .method(button::glyphState, &glyph_state)
          .method(button::setGlyphState, &set_glyph_state)
          .method(button::isSelected, &is_selected)
          .method(button::setSelected, &set_selected)
          .method(button::isExpanded, &is_expanded)
          .method(button::setExpanded, &set_expanded)
          .method(button::buttonTapped_forEvent, &button_tapped_for_event)
          .method(content::preferredExpandedContentHeight, &preferred_expanded_content_height)
          .method(content::preferredExpandedContentWidth, &preferred_expanded_content_width)
          .method(content::shouldBeginTransitionToExpandedContentModule, &should_begin_transition)
          .method(content::willTransitionToExpandedContentMode, &will_transition)
          .method(content::didTransitionToExpandedContentMode, &did_transition)
          .method(content::controlCenterWillPresent, &control_center_will_present)
          .method(content::controlCenterDidDismiss, &control_center_did_dismiss)
          .method(content::providesOwnPlatter, &provides_own_platter)
          .build();
}

void layout_module(id controller) {
  if (!objc::isKindOf(controller, g_class) || !state(controller).platter) return;
  layout_tile(controller);
  if (is_menu_module(controller)) layout_menu(controller);
}

id tile_platter(id controller) {
  return objc::isKindOf(controller, g_class) ? state(controller).platter.get() : nullptr;
}
id tile_button(id controller) {
  return objc::isKindOf(controller, g_class) ? state(controller).button.get() : nullptr;
}
id tile_glyph_view(id controller) {
  return objc::isKindOf(controller, g_class) ? state(controller).glyphView.get() : nullptr;
}

}  // namespace hv_controlcenter

// ---- what tests read of the tile ---------------------------------------------------------------

extern "C" int HVCCTestButtonTaps(id controller, id* last_sender, id* last_event) {
  if (!objc::isKindOf(controller, hv_controlcenter::g_class)) return -1;
  auto& tile = hv_controlcenter::state(controller);
  if (last_sender) *last_sender = tile.lastSender.get();
  if (last_event) *last_event = tile.lastEvent.get();
  return tile.taps;
}

extern "C" id HVCCTestTileButton(id controller) {
  return hv_controlcenter::tile_button(controller);
}

extern "C" id HVCCTestTileGlyphView(id controller) {
  return hv_controlcenter::tile_glyph_view(controller);
}
