#include "prefs/mode_menu.hpp"

#include <algorithm>

#include "common/objc/block.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/system_version.hpp"
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"
#include "prefs/controller.hpp"
#include "prefs/messages.hpp"
#include "prefs/store.hpp"

namespace halvernic::prefs {

namespace ui = halvernic::ui;
using ui::NSInteger;
using ui::NSTimeInterval;

namespace {

// Geometry, in points.
constexpr CGFloat kRowHeight = 47;
constexpr CGFloat kWidthFactor = 0.56;
constexpr CGFloat kMinimumWidth = 256;
constexpr CGFloat kSideMargin = 14;  // to the view's left and right edges
constexpr CGFloat kRightInset = 14;  // of the menu's right edge from the cell's
constexpr CGFloat kGapBelowCell = 8;
constexpr CGFloat kVerticalMargin = 12;  // to the view's top and bottom edges
constexpr CGFloat kCornerRadius = 14;
constexpr CGFloat kSeparatorThickness = 0.5;
constexpr CGFloat kCheckmarkWidth = 22;
constexpr CGFloat kCheckmarkFromRight = 39;

// Look.
constexpr float kShadowOpacity = 0.25f;
constexpr CGFloat kShadowRadius = 20;
constexpr CGSize kShadowOffset{0, 8};
constexpr CGFloat kTitleFontSize = 16;
constexpr CGFloat kCheckmarkFontSize = 19;
constexpr ui::UIEdgeInsets kTitleInsets{0, 18, 0, 48};
constexpr ui::UIBlurEffectStyle kBlurStyle = ui::UIBlurEffectStyleSystemThinMaterial;  // 7
constexpr char kCheckmark[] = "\u2713";

// Motion.
constexpr NSTimeInterval kOpenDuration = 0.16;
constexpr CGFloat kOpenScale = 0.96;
constexpr NSTimeInterval kCloseDuration = 0.12;

// The overlay and the blur fill their superviews.
constexpr ui::UIViewAutoresizing kFlexibleWidthAndHeight =
    ui::UIViewAutoresizingFlexibleWidth | ui::UIViewAutoresizingFlexibleHeight;
constexpr CGAffineTransform kIdentity{1, 0, 0, 1, 0, 0};

// One colour of the menu: a dynamic colour that follows the trait collection's appearance
// (from iOS 13), else the light member alone. The colours are taken by value: a block
// captures a reference parameter as a reference, which would dangle once this returns.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
objc::Ref menuColour(bool dynamic, objc::Ref dark, objc::Ref light) {
  if (!dynamic) return light;
  id colour = ui::UIColor::initWithDynamicProvider.send(
      ui::NSObject::alloc.send(ui::kUIColor.get()), ^id(id traits) {
        const bool is_dark =
            ui::UITraitCollection::userInterfaceStyle.send(traits) == ui::UIUserInterfaceStyleDark;
        return is_dark ? dark.get() : light.get();
      });
  return objc::Ref::adopt(colour);
}

objc::Ref white(CGFloat level, CGFloat alpha) {
  return objc::Ref::retain(
      ui::UIColor::colorWithWhite_alpha.send(ui::kUIColor.get(), level, alpha));
}

objc::Ref rgba(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  return objc::Ref::retain(
      ui::UIColor::colorWithRed_green_blue_alpha.send(ui::kUIColor.get(), red, green, blue, alpha));
}

objc::Ref newView(objc::ClassName& kind, CGRect frame) {
  return objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(kind.get()), frame));
}

}  // namespace

void closeCpuModeMenu(id controller) {
  ControllerState* state = controllerState(controller);
  if (!state) return;
  objc::Ref overlay = state->cpu_mode_menu_overlay.load();
  if (!overlay) return;
  state->cpu_mode_menu_overlay.store(nullptr);
  ui::UIView::animateWithDuration_animations_completion.send(
      ui::kUIView.get(), kCloseDuration,
      ^{
        ui::UIView::setAlpha.send(overlay.get(), 0);
      },
      ^(BOOL) {
        ui::UIView::removeFromSuperview.send(overlay.get());
      });
}

namespace {

// The overlay that covers the view while the menu is open: a tap outside the menu closes it.
objc::Ref newOverlay(id controller, CGRect bounds) {
  objc::Ref overlay = newView(ui::kUIControl, bounds);
  ui::UIView::setAutoresizingMask.send(overlay.get(), kFlexibleWidthAndHeight);
  ui::UIView::setBackgroundColor.send(overlay.get(),
                                      ui::UIColor::clearColor.send(ui::kUIColor.get()));
  ui::UIControl::addTarget_action_forControlEvents.send(overlay.get(), controller,
                                                        RootListController::dismissCPUModeMenu,
                                                        ui::UIControlEventTouchUpInside);
  return overlay;
}

// The menu's frame in the view (of the given bounds): below the cell and right-aligned to it,
// kept inside the view; the far edge's limit is applied last, so a menu that does not fit is
// pushed up or left.
CGRect menuFrame(id view, CGRect bounds, id cell, std::size_t rows) {
  const CGFloat W = bounds.size.width;
  const CGFloat H = bounds.size.height;
  const CGRect cell_bounds = ui::UIView::bounds.send(cell);
  const CGRect R = ui::UIView::convertRect_toCoordinateSpace.send(cell, cell_bounds, view);
  const CGFloat w =
      std::min(W - 2 * kSideMargin, std::max(cell_bounds.size.width * kWidthFactor, kMinimumWidth));
  const CGFloat h = static_cast<CGFloat>(rows) * kRowHeight;
  const CGFloat x = std::min(W - w - kSideMargin,
                             std::max(R.origin.x + R.size.width - w - kRightInset, kSideMargin));
  const CGFloat y = std::min(H - h - kVerticalMargin,
                             std::max(R.origin.y + R.size.height + kGapBelowCell, kVerticalMargin));
  return CGRect{{x, y}, {w, h}};
}

// The clear view in the menu's frame that casts the menu's shadow, along the card's rounded
// outline.
objc::Ref newMenuContainer(CGRect frame) {
  objc::Ref container = newView(ui::kUIView, frame);
  ui::UIView::setBackgroundColor.send(container.get(),
                                      ui::UIColor::clearColor.send(ui::kUIColor.get()));
  id container_layer = ui::UIView::layer.send(container.get());
  const CGRect menu_bounds = ui::UIView::bounds.send(container.get());
  ui::CALayer::setShadowColor.send(
      container_layer, ui::UIColor::CGColor.send(ui::UIColor::blackColor.send(ui::kUIColor.get())));
  ui::CALayer::setShadowOpacity.send(container_layer, kShadowOpacity);
  ui::CALayer::setShadowRadius.send(container_layer, kShadowRadius);
  ui::CALayer::setShadowOffset.send(container_layer, kShadowOffset);
  ui::CALayer::setShadowPath.send(
      container_layer,
      ui::UIBezierPath::CGPath.send(ui::UIBezierPath::bezierPathWithRoundedRect_cornerRadius.send(
          ui::kUIBezierPath.get(), menu_bounds, kCornerRadius)));
  return container;
}

// The card that holds the rows: rounded and clipped, and from iOS 13 (modern) in colours that
// follow the appearance, with the system's thin material blurred behind it.
objc::Ref newMenuCard(CGRect menu_bounds, bool modern) {
  objc::Ref card = newView(ui::kUIView, menu_bounds);
  objc::Ref card_colour = menuColour(modern, white(0.12, 0.95), white(0.98, 0.86));
  ui::UIView::setBackgroundColor.send(card.get(), card_colour.get());
  id card_layer = ui::UIView::layer.send(card.get());
  ui::CALayer::setCornerRadius.send(card_layer, kCornerRadius);
  ui::CALayer::setMasksToBounds.send(card_layer, objc::toBool(true));
  if (modern) {
    // Weakly imported: an image without it (a system before iOS 13) leaves its address null.
    if (&kCACornerCurveContinuous != nullptr)
      ui::CALayer::setCornerCurve.send(card_layer, kCACornerCurveContinuous);
    id effect = ui::UIBlurEffect::effectWithStyle.send(ui::kUIBlurEffect.get(), kBlurStyle);
    objc::Ref blur = objc::Ref::adopt(ui::UIVisualEffectView::initWithEffect.send(
        ui::NSObject::alloc.send(ui::kUIVisualEffectView.get()), effect));
    ui::UIView::setFrame.send(blur.get(), ui::UIView::bounds.send(card.get()));
    ui::UIView::setAutoresizingMask.send(blur.get(), kFlexibleWidthAndHeight);
    ui::UIView::insertSubview_atIndex.send(card.get(), blur.get(), 0);
  }
  return card;
}

// The colours of a row's parts.
struct RowColours {
  objc::Ref title;
  objc::Ref separator;
  objc::Ref checkmark;
};

RowColours rowColours(bool modern) {
  return RowColours{
      menuColour(modern, objc::Ref::retain(ui::UIColor::whiteColor.send(ui::kUIColor.get())),
                 objc::Ref::retain(ui::UIColor::blackColor.send(ui::kUIColor.get()))),
      menuColour(modern, white(1.0, 0.12), white(0.0, 0.1)),
      menuColour(modern, rgba(0.4, 0.7, 1.0, 1.0), rgba(0.0, 0.36, 1.0, 1.0)),
  };
}

// The button of the row at index, in frame: its tag is the index, which the tap's action reads.
id newRowButton(id controller, std::size_t index, id title, CGRect frame, id colour) {
  id button = ui::UIButton::buttonWithType.send(ui::kUIButton.get(), ui::UIButtonTypeSystem);
  ui::UIView::setTag.send(button, static_cast<NSInteger>(index));
  ui::UIView::setFrame.send(button, frame);
  ui::UIControl::setContentHorizontalAlignment.send(button,
                                                    ui::UIControlContentHorizontalAlignmentLeft);
  if (id title_label = ui::UIButton::titleLabel.send(button)) {
    ui::UILabel::setFont.send(
        title_label, ui::UIFont::systemFontOfSize_weight.send(ui::kUIFont.get(), kTitleFontSize,
                                                              UIFontWeightRegular));
  }
  ui::UIButton::setTitle_forState.send(button, title, ui::UIControlStateNormal);
  ui::UIButton::setTitleColor_forState.send(button, colour, ui::UIControlStateNormal);
  ui::UIButton::setTitleEdgeInsets.send(button, kTitleInsets);
  ui::UIControl::addTarget_action_forControlEvents.send(button, controller,
                                                        RootListController::cpuModeMenuItemTapped,
                                                        ui::UIControlEventTouchUpInside);
  return button;
}

// The checkmark at the right end of the row that starts at top, in a menu width w wide.
objc::Ref newCheckmark(CGFloat w, CGFloat top, id colour) {
  objc::Ref checkmark =
      newView(ui::kUILabel, CGRect{{w - kCheckmarkFromRight, top}, {kCheckmarkWidth, kRowHeight}});
  ui::UILabel::setText.send(checkmark.get(), objc::string(kCheckmark));
  ui::UILabel::setTextAlignment.send(checkmark.get(), ui::NSTextAlignmentCenter);
  ui::UILabel::setTextColor.send(checkmark.get(), colour);
  ui::UILabel::setFont.send(checkmark.get(),
                            ui::UIFont::systemFontOfSize_weight.send(
                                ui::kUIFont.get(), kCheckmarkFontSize, UIFontWeightSemibold));
  return checkmark;
}

// One row per title, top to bottom: the mode's button, a checkmark on the current mode, and a
// separator between rows.
void addRows(id card, id controller, id titles, id values, CGFloat w, const RowColours& colours) {
  const std::string current = currentCpuModeValue();
  const std::size_t count = objc::count(titles);
  for (std::size_t i = 0; i < count; ++i) {
    const CGFloat top = static_cast<CGFloat>(i) * kRowHeight;
    id button = newRowButton(controller, i, objc::arrayGet(titles, i),
                             CGRect{{0, top}, {w, kRowHeight}}, colours.title.get());
    ui::UIView::addSubview.send(card, button);

    if (objc::stringEquals(objc::arrayGet(values, i), current)) {
      objc::Ref checkmark = newCheckmark(w, top, colours.checkmark.get());
      ui::UIView::addSubview.send(card, checkmark.get());
    }
    if (i + 1 < count) {
      objc::Ref separator = newView(ui::kUIView, CGRect{{0, top + kRowHeight - kSeparatorThickness},
                                                        {w, kSeparatorThickness}});
      ui::UIView::setBackgroundColor.send(separator.get(), colours.separator.get());
      ui::UIView::addSubview.send(card, separator.get());
    }
  }
}

// The menu fades in from slightly smaller than its size. The container is taken by value:
// the animation block keeps a reference parameter as a reference, which would dangle.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void animateOpen(objc::Ref container) {
  ui::UIView::setAlpha.send(container.get(), 0);
  ui::UIView::setTransform.send(container.get(),
                                CGAffineTransform{kOpenScale, 0, 0, kOpenScale, 0, 0});
  ui::UIView::animateWithDuration_delay_options_animations_completion.send(
      ui::kUIView.get(), kOpenDuration, 0, ui::UIViewAnimationOptionCurveEaseOut,
      ^{
        ui::UIView::setAlpha.send(container.get(), 1);
        ui::UIView::setTransform.send(container.get(), kIdentity);
      },
      nullptr);
}

}  // namespace

void showCpuModeMenu(id controller, id cell) {
  ControllerState* state = controllerState(controller);
  if (!state) return;
  objc::AutoreleasePool pool;
  closeCpuModeMenu(controller);

  id view = ui::UIViewController::view.send(controller);
  if (!view) return;
  const CGRect bounds = ui::UIView::bounds.send(view);

  objc::Ref overlay = newOverlay(controller, bounds);
  const std::size_t rows = objc::count(state->cpu_mode_values.get());
  const CGRect frame = menuFrame(view, bounds, cell, rows);
  objc::Ref container = newMenuContainer(frame);
  const CGRect menu_bounds = ui::UIView::bounds.send(container.get());

  const bool modern = objc::systemVersionAtLeast(13);  // asked once for this menu
  objc::Ref card = newMenuCard(menu_bounds, modern);
  ui::UIView::addSubview.send(container.get(), card.get());
  addRows(card.get(), controller, state->cpu_mode_titles.get(), state->cpu_mode_values.get(),
          frame.size.width, rowColours(modern));

  ui::UIView::addSubview.send(overlay.get(), container.get());
  ui::UIView::addSubview.send(view, overlay.get());
  state->cpu_mode_menu_overlay.store(overlay.get());
  animateOpen(container);
}

}  // namespace halvernic::prefs
