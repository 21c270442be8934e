// CCUIMenuModuleViewController: a button module that expands into a header (glyph and
// title) over a stack of menu rows. Its private ivars, as the framework names them:
// _titleLabel (the header's UILabel), _menuItemsContainer (the UIStackView of
// CCUIMenuModuleItemView rows), _menuItems (NSMutableArray of CCUIMenuModuleItem).
//
// A tap on a row sends _handleActionTapped: with the row; this class's own version only runs
// the row's item's handler.
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
namespace row = ui::CCUIMenuModuleItemView;
namespace item = ui::CCUIMenuModuleItem;
namespace cc = ui::CCUIMenuModuleViewController;
namespace content = ui::CCUIContentModuleContentViewController;

constexpr char kTitleLabelIvar[] = "_titleLabel";
constexpr char kMenuItemsContainerIvar[] = "_menuItemsContainer";
constexpr char kMenuItemsIvar[] = "_menuItems";
constexpr CGFloat kHeaderTitleFontSize = 17.0;

struct MenuState {
  objc::Ref subtitle;
  unsigned long long indentation = 0;
  bool shouldProvideOwnPlatter = false;
  bool useTrailingCheckmarkLayout = false;
  bool busy = false;
  int actionTaps = 0;
  objc::Ref headerGlyphView;
};

Class g_class = nullptr;

MenuState& state(id self) { return objc::storage<MenuState>(self); }

id title_label(id self) { return objc::getIvar(self, kTitleLabelIvar); }
id container(id self) { return objc::getIvar(self, kMenuItemsContainerIvar); }
id rows(id self) { return ui::UIStackView::arrangedSubviews.send(container(self)); }

}  // namespace

bool is_menu_module(id controller) { return objc::isKindOf(controller, g_class); }

// Expanded: the header and the rows over a large platter; collapsed: the tile alone.
void layout_menu(id self) {
  id view = ui::UIViewController::view.send(self);
  if (!view || !container(self)) return;
  MenuState& menu = state(self);
  const bool expanded = objc::fromBool(button::isExpanded.send(self));
  const CGRect bounds = ui::UIView::bounds.send(view);
  const CGFloat width = bounds.size.width;

  ui::UIView::setHidden.send(tile_button(self), objc::toBool(expanded));
  for (id part : {title_label(self), container(self), menu.headerGlyphView.get()}) {
    ui::UIView::setHidden.send(part, objc::toBool(!expanded));
  }
  ui::CALayer::setCornerRadius.send(ui::UIView::layer.send(tile_platter(self)),
                                    expanded ? kExpandedCornerRadius : kTileCornerRadius);
  if (!expanded) return;

  ui::UIImageView::setImage.send(
      menu.headerGlyphView.get(),
      ui::UIImage::imageWithRenderingMode.send(button::glyphImage.send(self),
                                               ui::UIImageRenderingModeAlwaysTemplate));
  const CGFloat glyph_side = kHeaderGlyphSide;
  ui::UIView::setFrame.send(
      menu.headerGlyphView.get(),
      CGRect{{kSideInset, (kHeaderHeight - glyph_side) / 2}, {glyph_side, glyph_side}});
  const CGFloat title_x = kSideInset + glyph_side + 12;
  ui::UIView::setFrame.send(title_label(self),
                            CGRect{{title_x, 0}, {width - title_x - kSideInset, kHeaderHeight}});
  const CGFloat rows_height = kRowHeight * static_cast<CGFloat>(objc::count(rows(self)));
  ui::UIView::setFrame.send(container(self), CGRect{{0, kHeaderHeight}, {width, rows_height}});
  id all = rows(self);
  for (std::size_t i = 0; i < objc::count(all); ++i) {
    ui::UIView::setFrame.send(
        objc::arrayGet(all, i),
        CGRect{{0, kRowHeight * static_cast<CGFloat>(i)}, {width, kRowHeight}});
  }
}

namespace {

// ---- methods ---------------------------------------------------------------------------

void view_did_load(id self, SEL) {
  ui::UIViewController::viewDidLoad.sendSuper(self, g_class);
  objc::AutoreleasePool pool;
  id view = ui::UIViewController::view.send(self);
  const CGRect zero{};

  objc::Ref glyph = objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIImageView), zero));
  ui::UIView::setTintColor.send(glyph.get(), ui::UIColor::whiteColor.send(ui::kUIColor));
  state(self).headerGlyphView = glyph;

  objc::Ref label = objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUILabel), zero));
  ui::UILabel::setFont.send(
      label.get(), ui::UIFont::boldSystemFontOfSize.send(ui::kUIFont, kHeaderTitleFontSize));
  ui::UILabel::setText.send(label.get(), ui::UIViewController::title.send(self));
  objc::setIvar(self, kTitleLabelIvar, label.get());

  objc::Ref stack = objc::Ref::adopt(
      ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(ui::kUIStackView), zero));
  ui::UIStackView::setAxis.send(stack.get(), ui::UILayoutConstraintAxisVertical);
  objc::setIvar(self, kMenuItemsContainerIvar, stack.get());

  for (id part : {glyph.get(), label.get(), stack.get()}) ui::UIView::addSubview.send(view, part);
  layout_menu(self);
}

void set_title(id self, SEL, id title) {
  ui::UIViewController::setTitle.sendSuper(self, g_class, title);
  ui::UILabel::setText.send(title_label(self), title);
}

id subtitle(id self, SEL) { return state(self).subtitle.get(); }
void set_subtitle(id self, SEL, id value) {
  state(self).subtitle = objc::Ref::adopt(ui::NSObject::copy.send(value));
}

unsigned long long indentation(id self, SEL) { return state(self).indentation; }
void set_indentation(id self, SEL, unsigned long long value) {
  state(self).indentation = value;
  id all = rows(self);
  for (std::size_t i = 0; i < objc::count(all); ++i) {
    row::setIndentation.send(objc::arrayGet(all, i), value);
  }
}

BOOL should_provide_own_platter(id self, SEL) {
  return objc::toBool(state(self).shouldProvideOwnPlatter);
}
void set_should_provide_own_platter(id self, SEL, BOOL value) {
  state(self).shouldProvideOwnPlatter = objc::fromBool(value);
}
BOOL provides_own_platter(id self, SEL) {
  return objc::toBool(state(self).shouldProvideOwnPlatter);
}

BOOL use_trailing_checkmark_layout(id self, SEL) {
  return objc::toBool(state(self).useTrailingCheckmarkLayout);
}
void set_use_trailing_checkmark_layout(id self, SEL, BOOL value) {
  state(self).useTrailingCheckmarkLayout = objc::fromBool(value);
  id all = rows(self);
  for (std::size_t i = 0; i < objc::count(all); ++i) {
    row::setUseTrailingCheckmarkLayout.send(objc::arrayGet(all, i), value);
  }
}

BOOL is_busy(id self, SEL) { return objc::toBool(state(self).busy); }
void set_busy(id self, SEL, BOOL value) { state(self).busy = objc::fromBool(value); }

// The check mark goes on every selected row, on the side the layout says; other rows have none.
void update_leading_and_trailing_views(id self, SEL) {
  objc::AutoreleasePool pool;
  const bool trailing = state(self).useTrailingCheckmarkLayout;
  id all = rows(self);
  for (std::size_t i = 0; i < objc::count(all); ++i) {
    id menu_row = objc::arrayGet(all, i);
    const bool checked = objc::fromBool(item::isSelected.send(row::menuItem.send(menu_row)));
    id current = trailing ? row::trailingView.send(menu_row) : row::leadingView.send(menu_row);
    objc::Ref mark =
        checked ? (current ? objc::Ref::retain(current) : objc::Ref::adopt(make_checkmark_view()))
                : objc::Ref();
    if (trailing) {
      row::setLeadingView.send(menu_row, nullptr);
      row::setTrailingView.send(menu_row, mark.get());
    } else {
      row::setTrailingView.send(menu_row, nullptr);
      row::setLeadingView.send(menu_row, mark.get());
    }
  }
}

void set_menu_items(id self, SEL, id items) {
  objc::AutoreleasePool pool;
  MenuState& menu = state(self);
  objc::Ref copy = objc::Ref::adopt(ui::NSObject::mutableCopy.send(items));
  objc::setIvar(self, kMenuItemsIvar, copy.get());

  id stack = container(self);
  objc::Ref old_rows = objc::Ref::retain(rows(self));
  for (std::size_t i = 0; i < objc::count(old_rows.get()); ++i) {
    id old_row = objc::arrayGet(old_rows.get(), i);
    ui::UIStackView::removeArrangedSubview.send(stack, old_row);
    ui::UIView::removeFromSuperview.send(old_row);
  }
  for (std::size_t i = 0; i < objc::count(copy.get()); ++i) {
    objc::Ref menu_row = objc::Ref::adopt(ui::UIView::initWithFrame.send(
        ui::NSObject::alloc.send(ui::kCCUIMenuModuleItemView), CGRect{}));
    row::setMenuItem.send(menu_row.get(), objc::arrayGet(copy.get(), i));
    row::setUseTrailingCheckmarkLayout.send(menu_row.get(),
                                            objc::toBool(menu.useTrailingCheckmarkLayout));
    row::setIndentation.send(menu_row.get(), menu.indentation);
    row::setSeparatorVisible.send(menu_row.get(), objc::toBool(i > 0));
    ui::UIControl::addTarget_action_forControlEvents.send(
        menu_row.get(), self, objc::sel("_handleActionTapped:"), ui::UIControlEventTouchUpInside);
    ui::UIStackView::addArrangedSubview.send(stack, menu_row.get());
  }
  ui::CCUIMenuModuleViewController::_updateLeadingAndTrailingViews.send(self);
  layout_menu(self);
}

id menu_item_for_identifier(id self, SEL, id identifier) {
  id items = objc::getIvar(self, kMenuItemsIvar);
  for (std::size_t i = 0; i < objc::count(items); ++i) {
    id candidate = objc::arrayGet(items, i);
    if (objc::objectsEqual(item::identifier.send(candidate), identifier)) return candidate;
  }
  return nullptr;
}

void handle_action_tapped(id self, SEL, id sender) {
  ++state(self).actionTaps;
  item::performAction.send(row::menuItem.send(sender));
}

BOOL can_show_while_locked(id, SEL) { return NO; }

CGFloat preferred_expanded_content_height(id self, SEL) {
  return kHeaderHeight +
         kRowHeight * static_cast<CGFloat>(objc::count(objc::getIvar(self, kMenuItemsIvar))) +
         kMenuBottomInset;
}

void will_transition(id self, SEL, BOOL expanded) {
  ui::CCUIContentModuleContentViewController::willTransitionToExpandedContentMode.sendSuper(
      self, g_class, expanded);
  layout_menu(self);
}

}  // namespace

void register_menu_module_class() {
  if (g_class) return;
  g_class = objc::ClassBuilder("CCUIMenuModuleViewController", "CCUIButtonModuleViewController")
                .storage<MenuState>()
                .ivar(kTitleLabelIvar)
                .ivar(kMenuItemsContainerIvar)
                .ivar(kMenuItemsIvar)
                .method(ui::UIViewController::viewDidLoad, &view_did_load)
                .method(ui::UIViewController::setTitle, &set_title)
                .method(cc::subtitle, &subtitle)
                .method(cc::setSubtitle, &set_subtitle)
                .method(cc::indentation, &indentation)
                .method(cc::setIndentation, &set_indentation)
                .method(cc::shouldProvideOwnPlatter, &should_provide_own_platter)
                .method(cc::setShouldProvideOwnPlatter, &set_should_provide_own_platter)
                .method(content::providesOwnPlatter, &provides_own_platter)
                .method(cc::useTrailingCheckmarkLayout, &use_trailing_checkmark_layout)
                .method(cc::setUseTrailingCheckmarkLayout, &set_use_trailing_checkmark_layout)
                .method(cc::isBusy, &is_busy)
                .method(cc::setBusy, &set_busy)
                .method(cc::setMenuItems, &set_menu_items)
                .method(cc::menuItemForIdentifier, &menu_item_for_identifier)
                .method(cc::_handleActionTapped, &handle_action_tapped)
                .method(cc::_updateLeadingAndTrailingViews, &update_leading_and_trailing_views)
                .method(cc::_canShowWhileLocked, &can_show_while_locked)
                .method(content::preferredExpandedContentHeight, &preferred_expanded_content_height)
                .method(content::willTransitionToExpandedContentMode, &will_transition)
                .build();
}

}  // namespace hv_controlcenter

extern "C" int HVCCTestActionTaps(id controller) {
  if (!objc::isKindOf(controller, hv_controlcenter::g_class)) return -1;
  return hv_controlcenter::state(controller).actionTaps;
}
