// UITableView (enough for a settings list: sections and rows from the data source, laid
// out top to bottom, selection through the delegate), UITableViewCell, and NSIndexPath's
// row and section (added to GNUstep's NSIndexPath).
#include <hvplatform/uikit_host.hpp>

#include "platform/uikit/internal.hpp"

namespace hv::uikit {
namespace {

using objc::send;
using objc::sel;

// ---- NSIndexPath -------------------------------------------------------------------------
id path_forRow(id cls, SEL, long row, long section) {
  unsigned long indexes[2] = {static_cast<unsigned long>(section), static_cast<unsigned long>(row)};
  return send<id>(cls, sel("indexPathWithIndexes:length:"), indexes, 2ul);
}
long path_row(id self, SEL) { return static_cast<long>(send<unsigned long>(self, sel("indexAtPosition:"), 1ul)); }
long path_section(id self, SEL) { return static_cast<long>(send<unsigned long>(self, sel("indexAtPosition:"), 0ul)); }
id index_path(long row, long section) { return path_forRow(objc::as_id(objc::cls("NSIndexPath")), nullptr, row, section); }

// ---- UITableViewCell ---------------------------------------------------------------------
id cell_initWithStyle(id self, SEL, long style, id reuse) {
  self = send<id>(self, sel("initWithFrame:"), CGRectMake(0, 0, 320, 44));
  if (!self) return nullptr;
  ViewState& s = view_state(self);
  s.cell_style = style;
  s.reuse_identifier = objc::make_string(objc::to_string(reuse));
  s.content_view = objc::Ref::adopt(make_view("UIView", CGRectMake(0, 0, 320, 44)));
  send(s.content_view.get(), sel("setAutoresizingMask:"), 0x12ul);
  send(self, sel("addSubview:"), s.content_view.get());
  s.text_label = objc::Ref::adopt(make_view("UILabel", CGRectMake(20, 0, 280, 44)));
  send(s.text_label.get(), sel("setAutoresizingMask:"), 0x12ul);
  send(s.content_view.get(), sel("addSubview:"), s.text_label.get());
  if (style != 0) {
    s.detail_label = objc::Ref::adopt(make_view("UILabel", CGRectMake(160, 0, 140, 44)));
    send(s.detail_label.get(), sel("setTextAlignment:"), 2l);
    send(s.detail_label.get(), sel("setAutoresizingMask:"), 0x11ul);
    send(s.content_view.get(), sel("addSubview:"), s.detail_label.get());
  }
  return self;
}
id cell_initWithFrame(id self, SEL, CGRect frame) {
  return objc::send_super<id>(self, objc::cls("UITableViewCell"), sel("initWithFrame:"), frame);
}
id cell_reuse(id self, SEL) { return view_state(self).reuse_identifier.get(); }
id cell_textLabel(id self, SEL) { return view_state(self).text_label.get(); }
id cell_detail(id self, SEL) { return view_state(self).detail_label.get(); }
id cell_contentView(id self, SEL) { return view_state(self).content_view.get(); }
long cell_accessory(id self, SEL) { return view_state(self).accessory; }
void cell_setAccessory(id self, SEL, long a) { view_state(self).accessory = a; }
id cell_accessoryView(id self, SEL) { return view_state(self).accessory_view.get(); }
void cell_setAccessoryView(id self, SEL, id v) {
  ViewState& s = view_state(self);
  if (s.accessory_view) send(s.accessory_view.get(), sel("removeFromSuperview"));
  s.accessory_view = objc::Ref::retain(v);
  if (v) {
    CGRect f = send<CGRect>(v, sel("frame"));
    f.origin = CGPointMake(s.bounds.size.width - f.size.width - 16, (s.bounds.size.height - f.size.height) / 2);
    send(v, sel("setFrame:"), f);
    send(v, sel("setAutoresizingMask:"), 0x1ul | 0x8ul | 0x20ul);
    send(self, sel("addSubview:"), v);
  }
}
long cell_selectionStyle(id self, SEL) { return view_state(self).selection_style; }
void cell_setSelectionStyle(id self, SEL, long v) { view_state(self).selection_style = v; }
BOOL cell_isSelected(id self, SEL) { return objc::to_BOOL(view_state(self).cell_selected); }
void cell_setSelected(id self, SEL, BOOL v, BOOL) { view_state(self).cell_selected = objc::from_BOOL(v); }

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

void add_section_label(id self, id text, double& y, bool header) {
  const double height = header ? 38 : 30;
  if (!text || objc::to_string(text).empty()) {
    y += header ? 18 : 8;
    return;
  }
  objc::Ref label = objc::Ref::adopt(make_view("UILabel", CGRectMake(20, y, view_state(self).bounds.size.width - 40, height)));
  send(label.get(), sel("setText:"), header ? objc::string([&] {
    std::string t = objc::to_string(text);
    std::string upper;
    for (char c : t) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return upper;
  }()) : text);
  send(label.get(), sel("setFont:"), send<id>(objc::cls("UIFont"), sel("systemFontOfSize:"), 13.0));
  send(label.get(), sel("setTextColor:"), send<id>(objc::cls("UIColor"), sel("secondaryLabelColor")));
  send(label.get(), sel("setNumberOfLines:"), 0l);
  send(label.get(), sel("setAutoresizingMask:"), 0x2ul);
  send(self, sel("addSubview:"), label.get());
  view_state(self).section_views.push_back(label);
  y += height;
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
  long sections = objc::responds_to(source, sel("numberOfSectionsInTableView:"))
                      ? send<long>(source, sel("numberOfSectionsInTableView:"), self)
                      : 1;
  double y = 0;
  const double width = s.bounds.size.width;
  for (long section = 0; section < sections; ++section) {
    id header = objc::responds_to(source, sel("tableView:titleForHeaderInSection:"))
                    ? send<id>(source, sel("tableView:titleForHeaderInSection:"), self, section)
                    : nullptr;
    add_section_label(self, header, y, true);
    const long rows = send<long>(source, sel("tableView:numberOfRowsInSection:"), self, section);
    std::vector<objc::Ref> cells;
    for (long row = 0; row < rows; ++row) {
      id path = index_path(row, section);
      objc::Ref cell = objc::Ref::retain(send<id>(source, sel("tableView:cellForRowAtIndexPath:"), self, path));
      double height = s.row_height;
      if (delegate && objc::responds_to(delegate, sel("tableView:heightForRowAtIndexPath:"))) {
        height = send<CGFloat>(delegate, sel("tableView:heightForRowAtIndexPath:"), self, path);
      }
      if (cell) {
        send(cell.get(), sel("setFrame:"), CGRectMake(0, y, width, height));
        send(cell.get(), sel("setAutoresizingMask:"), 0x2ul);
        send(self, sel("addSubview:"), cell.get());
      }
      cells.push_back(cell);
      y += height;
    }
    s.cells.push_back(std::move(cells));
    id footer = objc::responds_to(source, sel("tableView:titleForFooterInSection:"))
                    ? send<id>(source, sel("tableView:titleForFooterInSection:"), self, section)
                    : nullptr;
    add_section_label(self, footer, y, false);
  }
}
long table_sections(id self, SEL) { return static_cast<long>(view_state(self).cells.size()); }
long table_rows(id self, SEL, long section) {
  auto& cells = view_state(self).cells;
  return section >= 0 && static_cast<size_t>(section) < cells.size() ? static_cast<long>(cells[section].size()) : 0;
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
      if (cells[section][row].get() == cell) return index_path(static_cast<long>(row), static_cast<long>(section));
    }
  }
  return nullptr;
}
id table_visibleCells(id self, SEL) {
  objc::Ref array = objc::make_mutable_array();
  for (auto& section : view_state(self).cells) {
    for (auto& cell : section) {
      if (cell) objc::array_add(array.get(), cell.get());
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
  if (id cell = table_cellAt(self, nullptr, path)) send(cell, sel("setSelected:animated:"), YES, animated);
}
void table_deselect(id self, SEL, id path, BOOL animated) {
  ViewState& s = view_state(self);
  if (s.selected_path && objc::objects_equal(s.selected_path.get(), path)) s.selected_path.reset();
  if (id cell = table_cellAt(self, nullptr, path)) send(cell, sel("setSelected:animated:"), NO, animated);
}
id table_selected(id self, SEL) { return view_state(self).selected_path.get(); }
id table_dequeue(id, SEL, id) { return nullptr; }

}  // namespace

void register_table() {
  objc::ClassBuilder::extend("NSIndexPath")
      .class_method("indexPathForRow:inSection:", &path_forRow)
      .method("row", &path_row)
      .method("section", &path_section)
      .build();
  objc::ClassBuilder("UIScrollView", "UIView").build();
  objc::ClassBuilder("UITableView", "UIScrollView")
      .method("initWithFrame:style:", &table_initWithFrameStyle)
      .method("style", &table_style)
      .method("dataSource", &table_dataSource)
      .method("setDataSource:", &table_setDataSource)
      .method("delegate", &table_delegate)
      .method("setDelegate:", &table_setDelegate)
      .method("reloadData", &table_reloadData)
      .method("numberOfSections", &table_sections)
      .method("numberOfRowsInSection:", &table_rows)
      .method("cellForRowAtIndexPath:", &table_cellAt)
      .method("indexPathForCell:", &table_pathForCell)
      .method("visibleCells", &table_visibleCells)
      .method("rectForRowAtIndexPath:", &table_rectForRow)
      .method("selectRowAtIndexPath:animated:scrollPosition:", &table_select)
      .method("deselectRowAtIndexPath:animated:", &table_deselect)
      .method("indexPathForSelectedRow", &table_selected)
      .method("rowHeight", &table_rowHeight)
      .method("setRowHeight:", &table_setRowHeight)
      .method("dequeueReusableCellWithIdentifier:", &table_dequeue)
      .build();
  objc::ClassBuilder("UITableViewCell", "UIView")
      .method("initWithStyle:reuseIdentifier:", &cell_initWithStyle)
      .method("initWithFrame:", &cell_initWithFrame)
      .method("reuseIdentifier", &cell_reuse)
      .method("textLabel", &cell_textLabel)
      .method("detailTextLabel", &cell_detail)
      .method("contentView", &cell_contentView)
      .method("accessoryType", &cell_accessory)
      .method("setAccessoryType:", &cell_setAccessory)
      .method("accessoryView", &cell_accessoryView)
      .method("setAccessoryView:", &cell_setAccessoryView)
      .method("selectionStyle", &cell_selectionStyle)
      .method("setSelectionStyle:", &cell_setSelectionStyle)
      .method("isSelected", &cell_isSelected)
      .method("setSelected:animated:", &cell_setSelected)
      .build();
}

}  // namespace hv::uikit
