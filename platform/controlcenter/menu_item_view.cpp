// CCUIMenuModuleItemView: one row of the expanded menu, a control holding its menu item: the
// item's title and subtitle, a leading and a trailing view (the check mark goes in one of
// them), an optional separator above. Its superview is the menu's stack of rows.
#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/controlcenter.hpp"
#include "common/ui/uikit.hpp"
#include "platform/controlcenter/internal.hpp"

namespace hv_controlcenter {

namespace {

namespace row = ui::CCUIMenuModuleItemView;

struct RowState {
  objc::Ref menuItem, leadingView, trailingView;
  objc::Ref titleLabel, subtitleLabel, separator;
  bool useTrailingCheckmarkLayout = false;
  unsigned long long indentation = 0;
  bool separatorVisible = false;
};

constexpr CGFloat kTitleFontSize = 15.0;
constexpr CGFloat kSubtitleFontSize = 12.0;

Class g_class = nullptr;

RowState& state(id self) { return objc::storage<RowState>(self); }

id new_view(Class view_class) {
  return ui::UIView::initWithFrame.send(ui::NSObject::alloc.send(view_class), CGRect{});
}

void layout_row(id self) {
  RowState& row = state(self);
  const CGRect bounds = ui::UIView::bounds.send(self);
  const CGFloat width = bounds.size.width;
  const CGFloat height = bounds.size.height;
  const CGFloat inset = kSideInset + kIndentationStep * static_cast<CGFloat>(row.indentation);
  // The leading view sits in the indentation; the text starts after it.
  const CGFloat text_x = inset + (row.useTrailingCheckmarkLayout ? 0 : kCheckmarkSide + 8);
  const CGFloat text_width = width - text_x - kSideInset - kCheckmarkSide - 8;
  const bool has_subtitle =
      !objc::toString(ui::UILabel::text.send(row.subtitleLabel.get())).empty();
  if (has_subtitle) {
    ui::UIView::setFrame.send(row.titleLabel.get(),
                              CGRect{{text_x, height / 2 - 19}, {text_width, 20}});
    ui::UIView::setFrame.send(row.subtitleLabel.get(),
                              CGRect{{text_x, height / 2 + 2}, {text_width, 16}});
  } else {
    ui::UIView::setFrame.send(row.titleLabel.get(),
                              CGRect{{text_x, (height - 20) / 2}, {text_width, 20}});
    ui::UIView::setFrame.send(row.subtitleLabel.get(), CGRect{});
  }
  const CGFloat mark_y = (height - kCheckmarkSide) / 2;
  ui::UIView::setFrame.send(row.leadingView.get(),
                            CGRect{{inset, mark_y}, {kCheckmarkSide, kCheckmarkSide}});
  ui::UIView::setFrame.send(
      row.trailingView.get(),
      CGRect{{width - kSideInset - kCheckmarkSide, mark_y}, {kCheckmarkSide, kCheckmarkSide}});
  ui::UIView::setFrame.send(row.separator.get(),
                            CGRect{{inset, 0}, {width - inset - kSideInset, 0.5}});
  ui::UIView::setHidden.send(row.separator.get(), objc::toBool(!row.separatorVisible));
}

// ---- methods ---------------------------------------------------------------------------

id init_with_frame(id self, SEL, CGRect frame) {
  self = ui::UIView::initWithFrame.sendSuper(self, g_class, frame);
  if (!self) return nullptr;
  objc::AutoreleasePool pool;
  RowState& row = state(self);
  row.titleLabel = objc::Ref::adopt(new_view(ui::kUILabel));
  ui::UILabel::setFont.send(
      row.titleLabel.get(),
      ui::UIFont::systemFontOfSize_weight.send(ui::kUIFont, kTitleFontSize, UIFontWeightSemibold));
  ui::UILabel::setTextColor.send(row.titleLabel.get(), ui::UIColor::whiteColor.send(ui::kUIColor));
  row.subtitleLabel = objc::Ref::adopt(new_view(ui::kUILabel));
  ui::UILabel::setFont.send(row.subtitleLabel.get(),
                            ui::UIFont::systemFontOfSize.send(ui::kUIFont, kSubtitleFontSize));
  ui::UILabel::setTextColor.send(row.subtitleLabel.get(), secondary_text_color());
  row.separator = objc::Ref::adopt(new_view(ui::kUIView));
  ui::UIView::setBackgroundColor.send(row.separator.get(), secondary_text_color());
  for (id part : {row.titleLabel.get(), row.subtitleLabel.get(), row.separator.get()}) {
    ui::UIView::setUserInteractionEnabled.send(part, NO);
    ui::UIView::addSubview.send(self, part);
  }
  return self;
}

void layout_subviews(id self, SEL) {
  ui::UIView::layoutSubviews.sendSuper(self, g_class);
  layout_row(self);
}

id menu_item(id self, SEL) { return state(self).menuItem.get(); }
void set_menu_item(id self, SEL, id item) {
  RowState& row = state(self);
  row.menuItem = objc::Ref::retain(item);
  ui::UILabel::setText.send(row.titleLabel.get(), ui::CCUIMenuModuleItem::title.send(item));
  ui::UILabel::setText.send(row.subtitleLabel.get(), ui::CCUIMenuModuleItem::subtitle.send(item));
  ui::UIView::setNeedsLayout.send(self);
}

// A new leading or trailing view replaces the old one in the row.
void replace(id self, objc::Ref& slot, id view) {
  if (slot.get() == view) return;
  ui::UIView::removeFromSuperview.send(slot.get());
  slot = objc::Ref::retain(view);
  if (view) {
    ui::UIView::setUserInteractionEnabled.send(view, NO);
    ui::UIView::addSubview.send(self, view);
  }
  layout_row(self);
}

id leading_view(id self, SEL) { return state(self).leadingView.get(); }
void set_leading_view(id self, SEL, id view) { replace(self, state(self).leadingView, view); }
id trailing_view(id self, SEL) { return state(self).trailingView.get(); }
void set_trailing_view(id self, SEL, id view) { replace(self, state(self).trailingView, view); }
BOOL use_trailing_checkmark_layout(id self, SEL) {
  return objc::toBool(state(self).useTrailingCheckmarkLayout);
}
void set_use_trailing_checkmark_layout(id self, SEL, BOOL value) {
  state(self).useTrailingCheckmarkLayout = objc::fromBool(value);
  ui::UIView::setNeedsLayout.send(self);
}
unsigned long long indentation(id self, SEL) { return state(self).indentation; }
void set_indentation(id self, SEL, unsigned long long value) {
  state(self).indentation = value;
  ui::UIView::setNeedsLayout.send(self);
}
BOOL separator_visible(id self, SEL) { return objc::toBool(state(self).separatorVisible); }
void set_separator_visible(id self, SEL, BOOL value) {
  state(self).separatorVisible = objc::fromBool(value);
  ui::UIView::setNeedsLayout.send(self);
}

}  // namespace

void register_menu_item_view_class() {
  if (g_class) return;
  g_class = objc::ClassBuilder("CCUIMenuModuleItemView", "UIControl")
                .storage<RowState>()
                .method(ui::UIView::initWithFrame, &init_with_frame)
                .method(ui::UIView::layoutSubviews, &layout_subviews)
                .method(row::menuItem, &menu_item)
                .method(row::setMenuItem, &set_menu_item)
                .method(row::leadingView, &leading_view)
                .method(row::setLeadingView, &set_leading_view)
                .method(row::trailingView, &trailing_view)
                .method(row::setTrailingView, &set_trailing_view)
                .method(row::useTrailingCheckmarkLayout, &use_trailing_checkmark_layout)
                .method(row::setUseTrailingCheckmarkLayout, &set_use_trailing_checkmark_layout)
                .method(row::indentation, &indentation)
                .method(row::setIndentation, &set_indentation)
                .method(row::separatorVisible, &separator_visible)
                .method(row::setSeparatorVisible, &set_separator_visible)
                .build();
}

}  // namespace hv_controlcenter
