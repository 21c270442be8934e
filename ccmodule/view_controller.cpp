// HalvernicCCModuleViewController: the tile cycles the power mode, the expanded menu lists
// the three modes with the current one checked. Its state is selectedIndex alone, a cache of
// the preferences file recomputed at every presentation, appearance, expansion and tile tap.
// Control Center calls everything on its main thread.
#include <array>
#include <cstdint>

#include "ccmodule/classes.hpp"
#include "ccmodule/messages.hpp"
#include "ccmodule/power_mode.hpp"
#include "common/objc/class_builder.hpp"
#include "common/objc/exception.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/controlcenter.hpp"
#include "common/ui/uikit.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::ccmodule {

namespace {

namespace cc = ui::CCUIMenuModuleViewController;
namespace button = ui::CCUIButtonModuleViewController;
namespace item = ui::CCUIMenuModuleItem;
namespace row = ui::CCUIMenuModuleItemView;
namespace content = ui::CCUIContentModuleContentViewController;
// This class's own messages, sent to self so a subclass's versions take part.
namespace own = HalvernicCCModuleViewController;

// The rows' titles, indexed as the contract's mode table (whose values are the rows'
// identifiers and whose titles are their subtitles).
constexpr std::array<const char*, contract::kPowerModeValues.size()> kModeRowTitles = {
    "原生态", "低电量", "满频率"};

constexpr char kTitle[] = "Halvernic";
constexpr char kSymbolName[] = "waveform.path.ecg";
constexpr CGFloat kSymbolPointSize = 28.0;
constexpr unsigned long long kIndentation = 2;
constexpr char kTitleLabelKey[] = "_titleLabel";

struct ControllerState {
  objc::Ref modeValues;
  objc::Ref modeTitles;
  objc::Ref modeSubtitles;
  long long selectedIndex = 0;
};

Class g_controller_class = nullptr;

ControllerState& state(id self) { return objc::storage<ControllerState>(self); }

objc::Ref make_string_array(const std::array<const char*, kModeRowTitles.size()>& texts) {
  objc::Ref array = objc::make_mutable_array();
  for (const char* text : texts) objc::array_add(array.get(), objc::string(text));
  return array;
}

// The index of a mode value among modeValues (string equality); absent is 0.
long long index_of_mode(id self, const char* mode) {
  id values = own::modeValues.send(self);
  const std::size_t count = objc::count(values);
  for (std::size_t i = 0; i < count; ++i) {
    if (objc::string_equals(objc::array_get(values, i), mode)) return static_cast<long long>(i);
  }
  return 0;
}

// The tile follows the index: selected exactly for a non-native mode, and the glyph state
// follows what the tile then reports.
void show_selection(id self, long long index) {
  button::setSelected.send(self, objc::to_BOOL(index != 0));
  const bool selected = objc::from_BOOL(button::isSelected.send(self));
  button::setGlyphState.send(self, objc::string(selected ? "on" : "off"));
}

// ---- methods, in the class's order -----------------------------------------------------

// The expanded menu's header title is drawn white. The label is the superclass's private
// ivar: when key-value coding cannot fetch it (it raises an NSException) or it is not a
// label, the header keeps its colour. The pool stands outside the guarded code: draining
// one inside would free the exception in flight.
void force_white_header_title(id self, SEL) {
  objc::AutoreleasePool pool;
  id key = objc::string(kTitleLabelKey);
  id label = nullptr;
  objc::catch_exception([&] { label = ui::NSObject::valueForKey.send(self, key); });
  if (!objc::is_kind_of(label, ui::kUILabel)) return;
  ui::UILabel::setTextColor.send(label, ui::UIColor::whiteColor.send(ui::kUIColor));
}

id controller_init(id self, SEL) {
  self = ui::UIViewController::initWithNibName_bundle.send_super(self, g_controller_class, nullptr, nullptr);
  if (!self) return nullptr;
  objc::AutoreleasePool pool;
  own::setModeValues.send(self, make_string_array(contract::kPowerModeValues).get());
  own::setModeTitles.send(self, make_string_array(kModeRowTitles).get());
  own::setModeSubtitles.send(self, make_string_array(contract::kPowerModeTitles).get());
  own::setSelectedIndex.send(self, 0);
  return self;
}

void view_did_load(id self, SEL) {
  ui::UIViewController::viewDidLoad.send_super(self, g_controller_class);
  objc::AutoreleasePool pool;
  id configuration = ui::UIImageSymbolConfiguration::configurationWithPointSize_weight.send(
      ui::kUIImageSymbolConfiguration, kSymbolPointSize, ui::UIImageSymbolWeightMedium);
  id glyph = ui::UIImage::systemImageNamed_withConfiguration.send(ui::kUIImage, objc::string(kSymbolName),
                                                                 configuration);
  if (!glyph) glyph = drawFallbackGlyph();
  button::setGlyphImage.send(self, glyph);
  cc::setIndentation.send(self, kIndentation);
  button::setSelectedGlyphColor.send(self, ui::UIColor::systemOrangeColor.send(ui::kUIColor));
  ui::UIViewController::setTitle.send(self, objc::string(kTitle));
  cc::setUseTrailingCheckmarkLayout.send(self, YES);
  cc::setShouldProvideOwnPlatter.send(self, YES);
  own::forceWhiteHeaderTitle.send(self);
}

void control_center_will_present(id self, SEL) { own::refreshSelectionState.send(self); }

void view_will_appear(id self, SEL, BOOL animated) {
  ui::UIViewController::viewWillAppear.send_super(self, g_controller_class, animated);
  own::refreshSelectionState.send(self);
  own::forceWhiteHeaderTitle.send(self);
}

BOOL should_begin_transition_to_expanded_content_module(id, SEL) { return YES; }

void will_transition_to_expanded_content_mode(id self, SEL, BOOL expanded) {
  ui::CCUIContentModuleContentViewController::willTransitionToExpandedContentMode.send_super(
      self, g_controller_class, expanded);
  own::rebuildMenuItems.send(self);
  own::forceWhiteHeaderTitle.send(self);
}

void refresh_selection_state(id self, SEL) {
  const long long index = index_of_mode(self, currentPowerModeValue());
  own::setSelectedIndex.send(self, index);
  show_selection(self, index);
}

void rebuild_menu_items(id self, SEL) {
  objc::AutoreleasePool pool;
  own::refreshSelectionState.send(self);
  const long long selected = own::selectedIndex.send(self);
  objc::Ref items = objc::make_mutable_array();
  // The count is read again for every row.
  for (std::size_t i = 0; i < objc::count(own::modeValues.send(self)); ++i) {
    objc::Ref menu_item = objc::Ref::adopt(item::initWithTitle_identifier_handler.send(
        ui::NSObject::alloc.send(ui::kCCUIMenuModuleItem), objc::array_get(own::modeTitles.send(self), i),
        objc::array_get(own::modeValues.send(self), i), nullptr));
    item::setSubtitle.send(menu_item.get(), objc::array_get(own::modeSubtitles.send(self), i));
    item::setSelected.send(menu_item.get(), objc::to_BOOL(static_cast<long long>(i) == selected));
    objc::array_add(items.get(), menu_item.get());
  }
  cc::setMenuItems.send_super(self, g_controller_class, items.get());
}

// A tap on the collapsed tile moves to the next mode: off, lowPower, fullPower, off.
void button_tapped_for_event(id self, SEL, id sender, id event) {
  objc::AutoreleasePool pool;
  id values = own::modeValues.send(self);
  const std::size_t count = objc::count(values);
  // With no modes there is nothing to move to (the modulo below would divide by zero).
  if (count > 0) {
    const long long index = index_of_mode(self, currentPowerModeValue());
    applyPowerModeValue(objc::array_get(values, static_cast<std::size_t>(index + 1) % count));
    own::refreshSelectionState.send(self);
  }
  button::buttonTapped_forEvent.send_super(self, g_controller_class, sender, event);
}

// A tap on a row of the expanded menu chooses that row's mode, even the current one again.
void handle_action_tapped(id self, SEL, id sender) {
  cc::_handleActionTapped.send_super(self, g_controller_class, sender);
  objc::AutoreleasePool pool;
  id rows = ui::UIStackView::arrangedSubviews.send(ui::UIView::superview.send(sender));
  const std::size_t row_count = objc::count(rows);

  const long long previous = own::selectedIndex.send(self);
  if (previous >= 0 && static_cast<std::size_t>(previous) < row_count) {
    id previous_row = objc::array_get(rows, static_cast<std::size_t>(previous));
    item::setSelected.send(row::menuItem.send(previous_row), NO);
    if (objc::from_BOOL(cc::useTrailingCheckmarkLayout.send(self))) {
      row::setTrailingView.send(previous_row, nullptr);
    } else {
      row::setLeadingView.send(previous_row, nullptr);
    }
  }

  std::size_t tapped = row_count;
  for (std::size_t i = 0; i < row_count; ++i) {
    if (objc::array_get(rows, i) == sender) {
      tapped = i;
      break;
    }
  }
  id values = own::modeValues.send(self);
  if (tapped >= row_count || tapped >= objc::count(values)) return;

  applyPowerModeValue(objc::array_get(values, tapped));
  item::setSelected.send(row::menuItem.send(sender), YES);
  cc::_updateLeadingAndTrailingViews.send_super(self, g_controller_class);
  own::setSelectedIndex.send(self, static_cast<long long>(tapped));
  show_selection(self, static_cast<long long>(tapped));
}

BOOL can_show_while_locked(id, SEL) { return YES; }

// ---- accessors -------------------------------------------------------------------------

id mode_values(id self, SEL) { return state(self).modeValues.get(); }
id mode_titles(id self, SEL) { return state(self).modeTitles.get(); }
id mode_subtitles(id self, SEL) { return state(self).modeSubtitles.get(); }
void set_mode_values(id self, SEL, id values) {
  state(self).modeValues = objc::Ref::adopt(ui::NSObject::copy.send(values));
}
void set_mode_titles(id self, SEL, id titles) {
  state(self).modeTitles = objc::Ref::adopt(ui::NSObject::copy.send(titles));
}
void set_mode_subtitles(id self, SEL, id subtitles) {
  state(self).modeSubtitles = objc::Ref::adopt(ui::NSObject::copy.send(subtitles));
}
long long selected_index(id self, SEL) { return state(self).selectedIndex; }
void set_selected_index(id self, SEL, long long index) { state(self).selectedIndex = index; }

}  // namespace

Class register_view_controller_class() {
  if (g_controller_class) return g_controller_class;
  g_controller_class =
      objc::ClassBuilder(kViewControllerClassName, "CCUIMenuModuleViewController")
          .storage<ControllerState>()
          .method(own::forceWhiteHeaderTitle, &force_white_header_title)
          .method(ui::NSObject::init, &controller_init)
          .method(ui::UIViewController::viewDidLoad, &view_did_load)
          .method(content::controlCenterWillPresent, &control_center_will_present)
          .method(ui::UIViewController::viewWillAppear, &view_will_appear)
          .method(content::shouldBeginTransitionToExpandedContentModule,
                  &should_begin_transition_to_expanded_content_module)
          .method(content::willTransitionToExpandedContentMode,
                  &will_transition_to_expanded_content_mode)
          .method(own::refreshSelectionState, &refresh_selection_state)
          .method(own::rebuildMenuItems, &rebuild_menu_items)
          .method(button::buttonTapped_forEvent, &button_tapped_for_event)
          .method(cc::_handleActionTapped, &handle_action_tapped)
          .method(cc::_canShowWhileLocked, &can_show_while_locked)
          .method(own::modeValues, &mode_values)
          .method(own::setModeValues, &set_mode_values)
          .method(own::modeTitles, &mode_titles)
          .method(own::setModeTitles, &set_mode_titles)
          .method(own::modeSubtitles, &mode_subtitles)
          .method(own::setModeSubtitles, &set_mode_subtitles)
          .method(own::selectedIndex, &selected_index)
          .method(own::setSelectedIndex, &set_selected_index)
          .build();
  return g_controller_class;
}

}  // namespace halvernic::ccmodule
