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

objc::Ref makeStringArray(const std::array<const char*, kModeRowTitles.size()>& texts) {
  objc::Ref array = objc::makeMutableArray();
  for (const char* text : texts) objc::arrayAdd(array.get(), objc::string(text));
  return array;
}

// The index of a mode value among modeValues (string equality); absent is 0.
long long indexOfMode(id self, const char* mode) {
  id values = own::modeValues.send(self);
  const std::size_t count = objc::count(values);
  for (std::size_t i = 0; i < count; ++i) {
    if (objc::stringEquals(objc::arrayGet(values, i), mode)) return static_cast<long long>(i);
  }
  return 0;
}

// The tile follows the index: selected exactly for a non-native mode, and the glyph state
// follows what the tile then reports.
void showSelection(id self, long long index) {
  button::setSelected.send(self, objc::toBool(index != 0));
  const bool selected = objc::fromBool(button::isSelected.send(self));
  button::setGlyphState.send(self, objc::string(selected ? "on" : "off"));
}

// ---- methods, in the class's order -----------------------------------------------------

// The expanded menu's header title is drawn white. The label is the superclass's private
// ivar: when key-value coding cannot fetch it (it raises an NSException) or it is not a
// label, the header keeps its colour. The pool stands outside the guarded code: draining
// one inside would free the exception in flight.
void forceWhiteHeaderTitle(id self, SEL) {
  objc::AutoreleasePool pool;
  id key = objc::string(kTitleLabelKey);
  id label = nullptr;
  objc::catchException([&] { label = ui::NSObject::valueForKey.send(self, key); });
  if (!objc::isKindOf(label, ui::kUILabel)) return;
  ui::UILabel::setTextColor.send(label, ui::UIColor::whiteColor.send(ui::kUIColor));
}

id controllerInit(id self, SEL) {
  self = ui::UIViewController::initWithNibName_bundle.sendSuper(self, g_controller_class, nullptr,
                                                                nullptr);
  if (!self) return nullptr;
  objc::AutoreleasePool pool;
  own::setModeValues.send(self, makeStringArray(contract::kPowerModeValues).get());
  own::setModeTitles.send(self, makeStringArray(kModeRowTitles).get());
  own::setModeSubtitles.send(self, makeStringArray(contract::kPowerModeTitles).get());
  own::setSelectedIndex.send(self, 0);
  return self;
}

void viewDidLoad(id self, SEL) {
  ui::UIViewController::viewDidLoad.sendSuper(self, g_controller_class);
  objc::AutoreleasePool pool;
  id configuration = ui::UIImageSymbolConfiguration::configurationWithPointSize_weight.send(
      ui::kUIImageSymbolConfiguration, kSymbolPointSize, ui::UIImageSymbolWeightMedium);
  id glyph = ui::UIImage::systemImageNamed_withConfiguration.send(
      ui::kUIImage, objc::string(kSymbolName), configuration);
  if (!glyph) glyph = drawFallbackGlyph();
  button::setGlyphImage.send(self, glyph);
  cc::setIndentation.send(self, kIndentation);
  button::setSelectedGlyphColor.send(self, ui::UIColor::systemOrangeColor.send(ui::kUIColor));
  ui::UIViewController::setTitle.send(self, objc::string(kTitle));
  cc::setUseTrailingCheckmarkLayout.send(self, YES);
  cc::setShouldProvideOwnPlatter.send(self, YES);
  own::forceWhiteHeaderTitle.send(self);
}

void controlCenterWillPresent(id self, SEL) { own::refreshSelectionState.send(self); }

void viewWillAppear(id self, SEL, BOOL animated) {
  ui::UIViewController::viewWillAppear.sendSuper(self, g_controller_class, animated);
  own::refreshSelectionState.send(self);
  own::forceWhiteHeaderTitle.send(self);
}

BOOL shouldBeginTransitionToExpandedContentModule(id, SEL) { return YES; }

void willTransitionToExpandedContentMode(id self, SEL, BOOL expanded) {
  ui::CCUIContentModuleContentViewController::willTransitionToExpandedContentMode.sendSuper(
      self, g_controller_class, expanded);
  own::rebuildMenuItems.send(self);
  own::forceWhiteHeaderTitle.send(self);
}

void refreshSelectionState(id self, SEL) {
  const long long index = indexOfMode(self, currentPowerModeValue());
  own::setSelectedIndex.send(self, index);
  showSelection(self, index);
}

void rebuildMenuItems(id self, SEL) {
  objc::AutoreleasePool pool;
  own::refreshSelectionState.send(self);
  const long long selected = own::selectedIndex.send(self);
  objc::Ref items = objc::makeMutableArray();
  // The count is read again for every row.
  for (std::size_t i = 0; i < objc::count(own::modeValues.send(self)); ++i) {
    objc::Ref menu_item = objc::Ref::adopt(item::initWithTitle_identifier_handler.send(
        ui::NSObject::alloc.send(ui::kCCUIMenuModuleItem),
        objc::arrayGet(own::modeTitles.send(self), i),
        objc::arrayGet(own::modeValues.send(self), i), nullptr));
    item::setSubtitle.send(menu_item.get(), objc::arrayGet(own::modeSubtitles.send(self), i));
    item::setSelected.send(menu_item.get(), objc::toBool(static_cast<long long>(i) == selected));
    objc::arrayAdd(items.get(), menu_item.get());
  }
  cc::setMenuItems.sendSuper(self, g_controller_class, items.get());
}

// A tap on the collapsed tile moves to the next mode: off, lowPower, fullPower, off.
void buttonTappedForEvent(id self, SEL, id sender, id event) {
  objc::AutoreleasePool pool;
  id values = own::modeValues.send(self);
  const std::size_t count = objc::count(values);
  // With no modes there is nothing to move to (the modulo below would divide by zero).
  if (count > 0) {
    const long long index = indexOfMode(self, currentPowerModeValue());
    applyPowerModeValue(objc::arrayGet(values, static_cast<std::size_t>(index + 1) % count));
    own::refreshSelectionState.send(self);
  }
  button::buttonTapped_forEvent.sendSuper(self, g_controller_class, sender, event);
}

// A tap on a row of the expanded menu chooses that row's mode, even the current one again.
void handleActionTapped(id self, SEL, id sender) {
  cc::_handleActionTapped.sendSuper(self, g_controller_class, sender);
  objc::AutoreleasePool pool;
  id rows = ui::UIStackView::arrangedSubviews.send(ui::UIView::superview.send(sender));
  const std::size_t row_count = objc::count(rows);

  const long long previous = own::selectedIndex.send(self);
  if (previous >= 0 && static_cast<std::size_t>(previous) < row_count) {
    id previous_row = objc::arrayGet(rows, static_cast<std::size_t>(previous));
    item::setSelected.send(row::menuItem.send(previous_row), NO);
    if (objc::fromBool(cc::useTrailingCheckmarkLayout.send(self))) {
      row::setTrailingView.send(previous_row, nullptr);
    } else {
      row::setLeadingView.send(previous_row, nullptr);
    }
  }

  std::size_t tapped = row_count;
  for (std::size_t i = 0; i < row_count; ++i) {
    if (objc::arrayGet(rows, i) == sender) {
      tapped = i;
      break;
    }
  }
  id values = own::modeValues.send(self);
  if (tapped >= row_count || tapped >= objc::count(values)) return;

  applyPowerModeValue(objc::arrayGet(values, tapped));
  item::setSelected.send(row::menuItem.send(sender), YES);
  cc::_updateLeadingAndTrailingViews.sendSuper(self, g_controller_class);
  own::setSelectedIndex.send(self, static_cast<long long>(tapped));
  showSelection(self, static_cast<long long>(tapped));
}

BOOL canShowWhileLocked(id, SEL) { return YES; }

// ---- accessors -------------------------------------------------------------------------

id modeValues(id self, SEL) { return state(self).modeValues.get(); }
id modeTitles(id self, SEL) { return state(self).modeTitles.get(); }
id modeSubtitles(id self, SEL) { return state(self).modeSubtitles.get(); }
void setModeValues(id self, SEL, id values) {
  state(self).modeValues = objc::Ref::adopt(ui::NSObject::copy.send(values));
}
void setModeTitles(id self, SEL, id titles) {
  state(self).modeTitles = objc::Ref::adopt(ui::NSObject::copy.send(titles));
}
void setModeSubtitles(id self, SEL, id subtitles) {
  state(self).modeSubtitles = objc::Ref::adopt(ui::NSObject::copy.send(subtitles));
}
long long selectedIndex(id self, SEL) { return state(self).selectedIndex; }
void setSelectedIndex(id self, SEL, long long index) { state(self).selectedIndex = index; }

}  // namespace

Class registerViewControllerClass() {
  if (g_controller_class) return g_controller_class;
  g_controller_class = objc::ClassBuilder(kViewControllerClassName, "CCUIMenuModuleViewController")
                           .storage<ControllerState>()
                           .method(own::forceWhiteHeaderTitle, &forceWhiteHeaderTitle)
                           .method(ui::NSObject::init, &controllerInit)
                           .method(ui::UIViewController::viewDidLoad, &viewDidLoad)
                           .method(content::controlCenterWillPresent, &controlCenterWillPresent)
                           .method(ui::UIViewController::viewWillAppear, &viewWillAppear)
                           .method(content::shouldBeginTransitionToExpandedContentModule,
                                   &shouldBeginTransitionToExpandedContentModule)
                           .method(content::willTransitionToExpandedContentMode,
                                   &willTransitionToExpandedContentMode)
                           .method(own::refreshSelectionState, &refreshSelectionState)
                           .method(own::rebuildMenuItems, &rebuildMenuItems)
                           .method(button::buttonTapped_forEvent, &buttonTappedForEvent)
                           .method(cc::_handleActionTapped, &handleActionTapped)
                           .method(cc::_canShowWhileLocked, &canShowWhileLocked)
                           .method(own::modeValues, &modeValues)
                           .method(own::setModeValues, &setModeValues)
                           .method(own::modeTitles, &modeTitles)
                           .method(own::setModeTitles, &setModeTitles)
                           .method(own::modeSubtitles, &modeSubtitles)
                           .method(own::setModeSubtitles, &setModeSubtitles)
                           .method(own::selectedIndex, &selectedIndex)
                           .method(own::setSelectedIndex, &setSelectedIndex)
                           .build();
  return g_controller_class;
}

}  // namespace halvernic::ccmodule
