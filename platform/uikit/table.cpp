// UITableView (enough for a settings list: sections and rows from the data source, laid
// out top to bottom, selection through the delegate), UITableViewCell, and NSIndexPath's
// row and section (added to GNUstep's NSIndexPath).
//
// The look is iOS 15's on a 390-point iPhone: in the inset grouped style each section is a
// card 20 points in from the table's sides with corners of radius 10 (the first row rounds
// its top corners, the last its bottom ones), rows are divided by hairlines that start at
// the text, and headers and footers line up with the text. A cell lays its text out 16
// points in (20 in the other styles), its detail text right-aligned before the accessory,
// and shows a chevron for the disclosure indicator.
#include <algorithm>
#include <cmath>

#include <hvplatform/uikit_host.hpp>

#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::sel;
using objc::send;

// ---- NSIndexPath -------------------------------------------------------------------------
id path_forRow(id cls, SEL, long row, long section) {
  unsigned long indexes[2] = {static_cast<unsigned long>(section), static_cast<unsigned long>(row)};
  return send<id>(cls, sel("indexPathWithIndexes:length:"), indexes, 2ul);
}
long path_row(id self, SEL) {
  return static_cast<long>(send<unsigned long>(self, sel("indexAtPosition:"), 1ul));
}
long path_section(id self, SEL) {
  return static_cast<long>(send<unsigned long>(self, sel("indexAtPosition:"), 0ul));
}
id index_path(long row, long section) {
  return path_forRow(objc::asId(objc::cls("NSIndexPath")), nullptr, row, section);
}

// ---- UITableViewCell ---------------------------------------------------------------------
constexpr long kInsetGrouped = 2;
constexpr double kCardInset = 20;  // an inset grouped section's distance from the sides
constexpr double kCardCornerRadius = 10;
constexpr double kInsetCellMargin = 16;  // the text's distance from the card's edge
constexpr double kCellMargin = 20;       // from the screen's edge in the other styles
constexpr CGSize kDisclosureSize{8, 13.5};
constexpr double kDisclosureGap = 10;  // between the detail text and the chevron

double cell_margin(id cell) {
  id table = view_state(cell).superview;
  const bool inset =
      table && is_kind(table, "UITableView") && view_state(table).table_style == kInsetGrouped;
  return inset ? kInsetCellMargin : kCellMargin;
}

// The text from the margin, the detail text right-aligned up to the accessory (a view of
// the cell's own, or the disclosure chevron), each centred in the row's height.
void cell_layoutSubviews(id self, SEL) {
  ViewState& s = view_state(self);
  const double width = s.bounds.size.width, height = s.bounds.size.height;
  const double margin = cell_margin(self);
  if (s.content_view) send(s.content_view.get(), sel("setFrame:"), CGRectMake(0, 0, width, height));
  double trailing = width - margin;  // where the detail text ends
  if (s.accessory_view) {
    CGRect f = send<CGRect>(s.accessory_view.get(), sel("frame"));
    f.origin = CGPointMake(width - margin - f.size.width, (height - f.size.height) / 2);
    send(s.accessory_view.get(), sel("setFrame:"), f);
    trailing = f.origin.x - kDisclosureGap;
  } else if (s.disclosure) {
    const CGRect f =
        CGRectMake(width - margin - kDisclosureSize.width, (height - kDisclosureSize.height) / 2,
                   kDisclosureSize.width, kDisclosureSize.height);
    send(s.disclosure.get(), sel("setFrame:"), f);
    trailing = f.origin.x - kDisclosureGap;
  }
  if (s.text_label) {
    send(s.text_label.get(), sel("setFrame:"),
         CGRectMake(margin, 0, std::max(0.0, trailing - margin), height));
  }
  if (s.detail_label) {
    const double left = margin + (trailing - margin) / 3;
    send(s.detail_label.get(), sel("setFrame:"),
         CGRectMake(left, 0, std::max(0.0, trailing - left), height));
  }
  if (s.separator) {
    const double hairline = 1 / main_screen_scale();
    send(s.separator.get(), sel("setFrame:"),
         CGRectMake(margin, height - hairline, width - margin, hairline));
  }
}

id cell_initWithStyle(id self, SEL, long style, id reuse) {
  self = send<id>(self, sel("initWithFrame:"), CGRectMake(0, 0, 320, 44));
  if (!self) return nullptr;
  ViewState& s = view_state(self);
  s.cell_style = style;
  s.reuse_identifier = objc::makeString(objc::toString(reuse));
  s.content_view = objc::Ref::adopt(make_view("UIView", CGRectMake(0, 0, 320, 44)));
  send(s.content_view.get(), sel("setAutoresizingMask:"), 0x12ul);
  send(self, sel("addSubview:"), s.content_view.get());
  s.text_label = objc::Ref::adopt(make_view("UILabel", CGRectMake(20, 0, 280, 44)));
  send(s.text_label.get(), sel("setAutoresizingMask:"), 0x12ul);
  send(s.content_view.get(), sel("addSubview:"), s.text_label.get());
  if (style != 0) {
    s.detail_label = objc::Ref::adopt(make_view("UILabel", CGRectMake(160, 0, 140, 44)));
    send(s.detail_label.get(), sel("setTextAlignment:"), 2l);
    // The value of a Value1 row is secondary text, as in Settings.
    if (style == 1) {
      send(s.detail_label.get(), sel("setTextColor:"),
           send<id>(objc::cls("UIColor"), sel("secondaryLabelColor")));
    }
    send(s.detail_label.get(), sel("setAutoresizingMask:"), 0x11ul);
    send(s.content_view.get(), sel("addSubview:"), s.detail_label.get());
  }
  return self;
}
id cell_initWithFrame(id self, SEL, CGRect frame) {
  return objc::sendSuper<id>(self, objc::cls("UITableViewCell"), sel("initWithFrame:"), frame);
}
id cell_reuse(id self, SEL) { return view_state(self).reuse_identifier.get(); }
id cell_textLabel(id self, SEL) { return view_state(self).text_label.get(); }
id cell_detail(id self, SEL) { return view_state(self).detail_label.get(); }
id cell_contentView(id self, SEL) { return view_state(self).content_view.get(); }
long cell_accessory(id self, SEL) { return view_state(self).accessory; }
// The disclosure indicator (1) is a chevron in the tertiary label colour; the other types
// (check mark, detail buttons) are not drawn.
void cell_setAccessory(id self, SEL, long a) {
  ViewState& s = view_state(self);
  s.accessory = a;
  if (a == 1 && !s.disclosure) {
    id image = chevron_image(true, kDisclosureSize.width, kDisclosureSize.height, 2);
    s.disclosure = objc::Ref::adopt(
        send<id>(send<id>(objc::cls("UIImageView"), sel("alloc")), sel("initWithImage:"), image));
    send(s.disclosure.get(), sel("setTintColor:"),
         send<id>(objc::cls("UIColor"), sel("tertiaryLabelColor")));
    send(self, sel("addSubview:"), s.disclosure.get());
  } else if (a != 1 && s.disclosure) {
    send(s.disclosure.get(), sel("removeFromSuperview"));
    s.disclosure.reset();
  }
  cell_layoutSubviews(self, nullptr);
}
id cell_accessoryView(id self, SEL) { return view_state(self).accessory_view.get(); }
void cell_setAccessoryView(id self, SEL, id v) {
  ViewState& s = view_state(self);
  if (s.accessory_view) send(s.accessory_view.get(), sel("removeFromSuperview"));
  s.accessory_view = objc::Ref::retain(v);
  if (v) send(self, sel("addSubview:"), v);
  cell_layoutSubviews(self, nullptr);
}
long cell_selectionStyle(id self, SEL) { return view_state(self).selection_style; }
void cell_setSelectionStyle(id self, SEL, long v) { view_state(self).selection_style = v; }
BOOL cell_isSelected(id self, SEL) { return objc::toBool(view_state(self).cell_selected); }
void cell_setSelected(id self, SEL, BOOL v, BOOL) {
  view_state(self).cell_selected = objc::fromBool(v);
}

// ---- UITableView -------------------------------------------------------------------------
id table_initWithFrameStyle(id self, SEL, CGRect frame, long style) {
  self = send<id>(self, sel("initWithFrame:"), frame);
  if (self) view_state(self).table_style = style;
  return self;
}
long table_style(id self, SEL) { return view_state(self).table_style; }
id table_dataSource(id self, SEL) { return view_state(self).data_source; }
void table_setDataSource(id self, SEL, id d) { view_state(self).data_source = d; }
id table_delegate(id self, SEL) { return view_state(self).delegate; }
void table_setDelegate(id self, SEL, id d) { view_state(self).delegate = d; }
CGFloat table_rowHeight(id self, SEL) { return view_state(self).row_height; }
void table_setRowHeight(id self, SEL, CGFloat h) { view_state(self).row_height = h; }

bool is_inset_grouped(id table) { return view_state(table).table_style == kInsetGrouped; }

// The horizontal extent of a section's rows: the card, or the whole width.
void row_extent(id table, double& x, double& width) {
  const double full = view_state(table).bounds.size.width;
  x = is_inset_grouped(table) ? kCardInset : 0;
  width = std::max(0.0, full - 2 * x);
}

// A header sits 17 points below what comes before it and 7 above its rows; a footer 7 below
// its rows and 10 above what follows. Their text wraps to as many lines as it needs.
void add_section_label(id self, id text, double& y, bool header) {
  if (!text || objc::toString(text).empty()) {
    y += header ? 18 : 8;
    return;
  }
  double x = 0, width = 0;
  row_extent(self, x, width);
  const double margin = is_inset_grouped(self) ? kInsetCellMargin : kCellMargin;
  const double above = header ? 17 : 7, below = header ? 7 : 10;
  objc::Ref label = objc::Ref::adopt(
      make_view("UILabel", CGRectMake(x + margin, y + above, width - 2 * margin, 0)));
  send(label.get(), sel("setText:"),
       header ? objc::string([&] {
         std::string t = objc::toString(text);
         std::string upper;
         for (char c : t) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
         return upper;
       }())
              : text);
  send(label.get(), sel("setFont:"), send<id>(objc::cls("UIFont"), sel("systemFontOfSize:"), 13.0));
  send(label.get(), sel("setTextColor:"),
       send<id>(objc::cls("UIColor"), sel("secondaryLabelColor")));
  send(label.get(), sel("setNumberOfLines:"), 0l);
  send(label.get(), sel("setAutoresizingMask:"), 0x2ul);
  CGRect frame = view_frame(view_state(label.get()));
  frame.size.height = std::ceil(measure(text_for(label.get(), 1, frame)).height);
  send(label.get(), sel("setFrame:"), frame);
  send(self, sel("addSubview:"), label.get());
  view_state(self).section_views.push_back(label);
  y += above + frame.size.height + below;
}

// A row's place in its section: in the inset grouped style the first and last rows round
// their outer corners (a single row all four); every row but the last has a hairline.
void style_row(id cell, long row, long rows, bool inset) {
  ViewState& s = view_state(cell);
  id layer = s.layer.get();
  if (inset) {
    unsigned long corners = 0;
    if (row == 0) corners |= 1 | 2;
    if (row == rows - 1) corners |= 4 | 8;
    send(layer, sel("setCornerRadius:"), corners ? kCardCornerRadius : 0.0);
    send(layer, sel("setMaskedCorners:"), corners ? corners : 15ul);
    send(layer, sel("setMasksToBounds:"), objc::toBool(corners != 0));
  }
  const bool hairline = row < rows - 1;
  if (hairline && !s.separator) {
    s.separator = objc::Ref::adopt(make_view("UIView", CGRectZero));
    send(s.separator.get(), sel("setBackgroundColor:"),
         send<id>(objc::cls("UIColor"), sel("separatorColor")));
    send(cell, sel("addSubview:"), s.separator.get());
  } else if (!hairline && s.separator) {
    send(s.separator.get(), sel("removeFromSuperview"));
    s.separator.reset();
  }
}

// Asks the data source for every section and row, and lays the cells out.
void table_reloadData(id self, SEL) {
  ViewState& s = view_state(self);
  for (auto& section : s.cells) {
    for (auto& cell : section) send(cell.get(), sel("removeFromSuperview"));
  }
  for (auto& v : s.section_views) send(v.get(), sel("removeFromSuperview"));
  s.cells.clear();
  s.section_views.clear();
  id source = s.data_source;
  id delegate = s.delegate;
  if (!source) return;
  long sections = objc::respondsTo(source, sel("numberOfSectionsInTableView:"))
                      ? send<long>(source, sel("numberOfSectionsInTableView:"), self)
                      : 1;
  double y = 0;
  const double width = s.bounds.size.width;
  for (long section = 0; section < sections; ++section) {
    id header = objc::respondsTo(source, sel("tableView:titleForHeaderInSection:"))
                    ? send<id>(source, sel("tableView:titleForHeaderInSection:"), self, section)
                    : nullptr;
    add_section_label(self, header, y, true);
    const long rows = send<long>(source, sel("tableView:numberOfRowsInSection:"), self, section);
    std::vector<objc::Ref> cells;
    for (long row = 0; row < rows; ++row) {
      id path = index_path(row, section);
      objc::Ref cell =
          objc::Ref::retain(send<id>(source, sel("tableView:cellForRowAtIndexPath:"), self, path));
      double height = s.row_height;
      if (delegate && objc::respondsTo(delegate, sel("tableView:heightForRowAtIndexPath:"))) {
        height = send<CGFloat>(delegate, sel("tableView:heightForRowAtIndexPath:"), self, path);
      }
      if (cell) {
        double x = 0, row_width = width;
        row_extent(self, x, row_width);
        send(self, sel("addSubview:"), cell.get());
        send(cell.get(), sel("setFrame:"), CGRectMake(x, y, row_width, height));
        send(cell.get(), sel("setAutoresizingMask:"), 0x2ul);
        style_row(cell.get(), row, rows, is_inset_grouped(self));
        cell_layoutSubviews(cell.get(), nullptr);
      }
      cells.push_back(cell);
      y += height;
    }
    s.cells.push_back(std::move(cells));
    id footer = objc::respondsTo(source, sel("tableView:titleForFooterInSection:"))
                    ? send<id>(source, sel("tableView:titleForFooterInSection:"), self, section)
                    : nullptr;
    add_section_label(self, footer, y, false);
  }
}
long table_sections(id self, SEL) { return static_cast<long>(view_state(self).cells.size()); }
long table_rows(id self, SEL, long section) {
  auto& cells = view_state(self).cells;
  return section >= 0 && static_cast<size_t>(section) < cells.size()
             ? static_cast<long>(cells[section].size())
             : 0;
}
id table_cellAt(id self, SEL, id path) {
  const long section = path_section(path, nullptr), row = path_row(path, nullptr);
  auto& cells = view_state(self).cells;
  if (section < 0 || static_cast<size_t>(section) >= cells.size()) return nullptr;
  if (row < 0 || static_cast<size_t>(row) >= cells[section].size()) return nullptr;
  return cells[section][row].get();
}
id table_pathForCell(id self, SEL, id cell) {
  auto& cells = view_state(self).cells;
  for (size_t section = 0; section < cells.size(); ++section) {
    for (size_t row = 0; row < cells[section].size(); ++row) {
      if (cells[section][row].get() == cell)
        return index_path(static_cast<long>(row), static_cast<long>(section));
    }
  }
  return nullptr;
}
id table_visibleCells(id self, SEL) {
  objc::Ref array = objc::makeMutableArray();
  for (auto& section : view_state(self).cells) {
    for (auto& cell : section) {
      if (cell) objc::arrayAdd(array.get(), cell.get());
    }
  }
  return objc::autorelease(array.leak());
}
CGRect table_rectForRow(id self, SEL, id path) {
  id cell = table_cellAt(self, nullptr, path);
  return cell ? send<CGRect>(cell, sel("frame")) : CGRectZero;
}
void table_select(id self, SEL, id path, BOOL animated, long) {
  view_state(self).selected_path = objc::Ref::retain(path);
  if (id cell = table_cellAt(self, nullptr, path))
    send(cell, sel("setSelected:animated:"), YES, animated);
}
void table_deselect(id self, SEL, id path, BOOL animated) {
  ViewState& s = view_state(self);
  if (s.selected_path && objc::objectsEqual(s.selected_path.get(), path)) s.selected_path.reset();
  if (id cell = table_cellAt(self, nullptr, path))
    send(cell, sel("setSelected:animated:"), NO, animated);
}
id table_selected(id self, SEL) { return view_state(self).selected_path.get(); }
id table_dequeue(id, SEL, id) { return nullptr; }

}  // namespace

void register_table() {
  objc::ClassBuilder::extend("NSIndexPath")
      .classMethod(ui::NSIndexPath::indexPathForRow_inSection, &path_forRow)
      .method(ui::NSIndexPath::row, &path_row)
      .method(ui::NSIndexPath::section, &path_section)
      .build();
  objc::ClassBuilder("UIScrollView", "UIView").build();
  objc::ClassBuilder("UITableView", "UIScrollView")
      .method(ui::UITableView::initWithFrame_style, &table_initWithFrameStyle)
      .method(ui::UITableView::style, &table_style)
      .method(ui::UITableView::dataSource, &table_dataSource)
      .method(ui::UITableView::setDataSource, &table_setDataSource)
      .method(ui::UITableView::delegate, &table_delegate)
      .method(ui::UITableView::setDelegate, &table_setDelegate)
      .method(ui::UITableView::reloadData, &table_reloadData)
      .method(ui::UITableView::numberOfSections, &table_sections)
      .method(ui::UITableView::numberOfRowsInSection, &table_rows)
      .method(ui::UITableView::cellForRowAtIndexPath, &table_cellAt)
      .method(ui::UITableView::indexPathForCell, &table_pathForCell)
      .method(ui::UITableView::visibleCells, &table_visibleCells)
      .method(ui::UITableView::rectForRowAtIndexPath, &table_rectForRow)
      .method(ui::UITableView::selectRowAtIndexPath_animated_scrollPosition, &table_select)
      .method(ui::UITableView::deselectRowAtIndexPath_animated, &table_deselect)
      .method(ui::UITableView::indexPathForSelectedRow, &table_selected)
      .method(ui::UITableView::rowHeight, &table_rowHeight)
      .method(ui::UITableView::setRowHeight, &table_setRowHeight)
      .method(ui::UITableView::dequeueReusableCellWithIdentifier, &table_dequeue)
      .build();
  objc::ClassBuilder("UITableViewCell", "UIView")
      .method(ui::UITableViewCell::initWithStyle_reuseIdentifier, &cell_initWithStyle)
      .method(ui::UIView::initWithFrame, &cell_initWithFrame)
      .method(ui::UITableViewCell::reuseIdentifier, &cell_reuse)
      .method(ui::UITableViewCell::textLabel, &cell_textLabel)
      .method(ui::UITableViewCell::detailTextLabel, &cell_detail)
      .method(ui::UITableViewCell::contentView, &cell_contentView)
      .method(ui::UITableViewCell::accessoryType, &cell_accessory)
      .method(ui::UITableViewCell::setAccessoryType, &cell_setAccessory)
      .method(ui::UITableViewCell::accessoryView, &cell_accessoryView)
      .method(ui::UITableViewCell::setAccessoryView, &cell_setAccessoryView)
      .method(ui::UITableViewCell::selectionStyle, &cell_selectionStyle)
      .method(ui::UITableViewCell::setSelectionStyle, &cell_setSelectionStyle)
      .method(ui::UITableViewCell::isSelected, &cell_isSelected)
      .method(ui::UITableViewCell::setSelected_animated, &cell_setSelected)
      .method(ui::UIView::layoutSubviews, &cell_layoutSubviews)
      .build();
}

}  // namespace hv::uikit
