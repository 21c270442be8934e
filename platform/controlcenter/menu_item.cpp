// CCUIMenuModuleItem: one row's data. The handler is kept as a C++ block value (on GCC's
// runtime a block is no object), copied at init and released with the item.
#include "common/objc/block.hpp"
#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/controlcenter.hpp"
#include "common/ui/uikit.hpp"
#include "platform/controlcenter/internal.hpp"

namespace hv_controlcenter {

namespace {

namespace item = ui::CCUIMenuModuleItem;

struct ItemState {
  objc::Ref title;
  objc::Ref identifier;
  objc::Ref subtitle;
  bool selected = false;
  bool busy = false;
  objc::Block<BOOL()> handler;
};

Class g_class = nullptr;

ItemState& state(id self) { return objc::storage<ItemState>(self); }

objc::Ref copy_of(id string) { return objc::Ref::adopt(ui::NSObject::copy.send(string)); }

id init_with_title(id self, SEL, id title, id identifier, ui::CCUIMenuModuleItemHandler handler) {
  self = ui::NSObject::init.sendSuper(self, g_class);
  if (!self) return nullptr;
  ItemState& item = state(self);
  item.title = copy_of(title);
  item.identifier = copy_of(identifier);
  item.handler = objc::Block<BOOL()>(handler);
  return self;
}

id title(id self, SEL) { return state(self).title.get(); }
id identifier(id self, SEL) { return state(self).identifier.get(); }
id subtitle(id self, SEL) { return state(self).subtitle.get(); }
void set_subtitle(id self, SEL, id value) { state(self).subtitle = copy_of(value); }
BOOL is_selected(id self, SEL) { return objc::toBool(state(self).selected); }
void set_selected(id self, SEL, BOOL value) { state(self).selected = objc::fromBool(value); }
BOOL is_busy(id self, SEL) { return objc::toBool(state(self).busy); }
void set_busy(id self, SEL, BOOL value) { state(self).busy = objc::fromBool(value); }

BOOL perform_action(id self, SEL) {
  // A copy keeps the block alive should the handler replace the item's own.
  objc::Block<BOOL()> handler = state(self).handler;
  return handler ? handler() : NO;
}

}  // namespace

void register_menu_item_class() {
  if (g_class) return;
  g_class = objc::ClassBuilder("CCUIMenuModuleItem", "NSObject")
                .storage<ItemState>()
                .method(item::initWithTitle_identifier_handler, &init_with_title)
                .method(item::title, &title)
                .method(item::identifier, &identifier)
                .method(item::subtitle, &subtitle)
                .method(item::setSubtitle, &set_subtitle)
                .method(item::isSelected, &is_selected)
                .method(item::setSelected, &set_selected)
                .method(item::isBusy, &is_busy)
                .method(item::setBusy, &set_busy)
                .method(item::performAction, &perform_action)
                .build();
}

}  // namespace hv_controlcenter
