// The module as Control Center holds it: the bundle installed below this test program's
// device root, loaded from there, its module object made and its content view controller
// presented. Messages go through the typed declarations, as the host's do.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/objc/foundation.hpp"
#include "common/objc/ref.hpp"
#include "common/ui/controlcenter.hpp"
#include "common/ui/uikit.hpp"
#include "extension/contract/contract.hpp"
#include "tests/support/preferences.hpp"

namespace hv_test {

namespace ui = halvernic::ui;

// The principal class of the installed bundle (loaded once per program).
Class module_class();

// The tile's frame in Control Center's grid, and the expanded menu's width.
inline constexpr CGRect kTileFrame{{0, 0}, {70, 70}};
inline constexpr CGFloat kExpandedWidth = 320;

class ModuleTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Control Center's order: controlCenterWillPresent, the view (loaded on first use) in its
  // tile, viewWillAppear:.
  void present();
  // shouldBeginTransitionToExpandedContentModule first, then the transition with the
  // expanded frame.
  void expand();
  void collapse();

  id rows() const;                   // the arranged row views of the menu's stack (+0)
  id row(std::size_t index) const;   // one of them
  std::string mode_in_file() const;  // thermalPowerMode as stored, "<none>" without
  bool selected() const;
  std::string glyph_state() const;
  long long selected_index() const;

  objc::Ref module_;
  id controller_ = nullptr;  // owned by the module
};

}  // namespace hv_test
