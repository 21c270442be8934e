// The typed declarations against the classes that implement them, and iOS's enumeration
// values against the SDK's headers. The stand-ins register their methods from the
// declarations (the compiler checks each implementation's types against them); what is
// left to see at run time is a declared message no class implements, and the types of the
// methods GNUstep provides itself (NSObject's).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

#include "common/ui/declarations.hpp"
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"

namespace ui = halvernic::ui;

namespace {

TEST(Declarations, EveryDeclaredMessageMatchesTheStandInsMethod) {
  EXPECT_THAT(ui::declarationMismatches(ui::kUIKitMessages), testing::IsEmpty());
  EXPECT_THAT(ui::declarationMismatches(ui::kQuartzCoreMessages), testing::IsEmpty());
}

TEST(Declarations, AWrongTypeIsReported) {
  static constinit objc::Message<void(double)> opacity_as_double{"setShadowOpacity:"};
  static constinit objc::Message<void()> missing{"hvNoSuchMessage"};
  const objc::MessageInfo wrong[] = {objc::instanceMessage<opacity_as_double>("CALayer"),
                                     objc::instanceMessage<missing>("UIView"),
                                     objc::instanceMessage<missing>("HVNoSuchClass")};
  const auto found = ui::declarationMismatches(wrong);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0], "-[CALayer setShadowOpacity:]: declared v@:d, registered v@:f");
  EXPECT_THAT(found[1], testing::HasSubstr("not implemented"));
  EXPECT_THAT(found[2], testing::HasSubstr("no such class"));
  EXPECT_EQ(ui::bareTypes("v24@0:8d16"), "v@:d");
  EXPECT_EQ(ui::bareTypes("r*16@0:8"), "*@:");
}

std::string sdk_frameworks() {
  std::stringstream candidates(HALVERNIC_SDK_CANDIDATES);
  std::string path;
  while (std::getline(candidates, path, ':')) {
    if (std::filesystem::exists(path)) return path;
  }
  return {};
}

// The value of an enumerator in an SDK header: NAME = expr, or the previous one plus one.
std::optional<long> sdk_value(const std::string& header, const std::string& name) {
  std::ifstream in(sdk_frameworks() + "/" + header);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = std::regex_replace(text.str(), std::regex("//[^\n]*"), "");
  // The enumerator itself (not a mention in a comment): the name followed by '=', ',' or '}'.
  std::smatch where;
  if (!std::regex_search(
          all, where,
          std::regex("\\b" + name + "\\s*(API_[A-Z_]+\\((?:[^()]|\\([^()]*\\))*\\)\\s*)*[=,}]")))
    return std::nullopt;
  const size_t at = static_cast<size_t>(where.position(0));
  const size_t open = all.rfind('{', at);
  const size_t close = all.find('}', at);
  std::string body = all.substr(open + 1, close - open - 1);
  body = std::regex_replace(body, std::regex("//[^\n]*"), "");
  // Apple's iOS values: the TARGET_ABI_USES_IOS_VALUES branch, not the #else one.
  body = std::regex_replace(
      body, std::regex("#else[^\n]*TARGET_ABI_USES_IOS_VALUES[\\s\\S]*?#endif"), "");
  body = std::regex_replace(body, std::regex("#[^\n]*"), "");
  body = std::regex_replace(body, std::regex("/\\*[\\s\\S]*?\\*/"), "");
  body = std::regex_replace(body, std::regex("(API|NS)_[A-Z_]+\\((?:[^()]|\\([^()]*\\))*\\)"), "");
  std::stringstream entries(body);
  std::string entry;
  long value = -1;
  std::map<std::string, long> seen;
  while (std::getline(entries, entry, ',')) {
    std::smatch m;
    if (!std::regex_search(entry, m, std::regex("([A-Za-z_][A-Za-z0-9_]*)\\s*(=\\s*(.+))?")))
      continue;
    const std::string key = m[1];
    if (m[3].matched) {
      std::string expr = std::regex_replace(m[3].str(), std::regex("\\s+"), "");
      std::smatch shift;
      if (std::regex_match(expr, shift, std::regex("(\\w+)<<(\\d+)"))) {
        value = std::stol(shift[1], nullptr, 0) << std::stol(shift[2]);
      } else if (seen.count(expr)) {
        value = seen[expr];
      } else {
        value = std::stol(expr, nullptr, 0);
      }
    } else {
      ++value;
    }
    seen[key] = value;
    if (key == name) return value;
  }
  return std::nullopt;
}

TEST(Enumerations, TheValuesAreApplesIOSValues) {
  if (sdk_frameworks().empty()) GTEST_SKIP() << "no iPhoneOS SDK beside the project";
  struct Case {
    const char* header;
    const char* name;
    long value;
  };
  const Case cases[] = {
      {"UIKit.framework/Headers/NSText.h", "NSTextAlignmentCenter", ui::NSTextAlignmentCenter},
      {"UIKit.framework/Headers/NSText.h", "NSTextAlignmentRight", ui::NSTextAlignmentRight},
      {"UIKit.framework/Headers/UIButton.h", "UIButtonTypeSystem", ui::UIButtonTypeSystem},
      {"UIKit.framework/Headers/UIControl.h", "UIControlEventTouchUpInside",
       static_cast<long>(ui::UIControlEventTouchUpInside)},
      {"UIKit.framework/Headers/UIControl.h", "UIControlContentHorizontalAlignmentLeft",
       ui::UIControlContentHorizontalAlignmentLeft},
      {"UIKit.framework/Headers/UIControl.h", "UIControlStateSelected",
       static_cast<long>(ui::UIControlStateSelected)},
      {"UIKit.framework/Headers/UIView.h", "UIViewAutoresizingFlexibleWidth",
       static_cast<long>(ui::UIViewAutoresizingFlexibleWidth)},
      {"UIKit.framework/Headers/UIView.h", "UIViewAutoresizingFlexibleHeight",
       static_cast<long>(ui::UIViewAutoresizingFlexibleHeight)},
      {"UIKit.framework/Headers/UIView.h", "UIViewAutoresizingFlexibleBottomMargin",
       static_cast<long>(ui::UIViewAutoresizingFlexibleBottomMargin)},
      {"UIKit.framework/Headers/UIView.h", "UIViewAnimationOptionCurveEaseOut",
       static_cast<long>(ui::UIViewAnimationOptionCurveEaseOut)},
      {"UIKit.framework/Headers/UIView.h", "UIViewAnimationOptionCurveLinear",
       static_cast<long>(ui::UIViewAnimationOptionCurveLinear)},
      {"UIKit.framework/Headers/UIInterface.h", "UIUserInterfaceStyleDark",
       ui::UIUserInterfaceStyleDark},
      {"UIKit.framework/Headers/UIBlurEffect.h", "UIBlurEffectStyleSystemThinMaterial",
       ui::UIBlurEffectStyleSystemThinMaterial},
      {"UIKit.framework/Headers/UIImageSymbolConfiguration.h", "UIImageSymbolWeightMedium",
       ui::UIImageSymbolWeightMedium},
      {"UIKit.framework/Headers/UIImageSymbolConfiguration.h", "UIImageSymbolWeightSemibold",
       ui::UIImageSymbolWeightSemibold},
      {"UIKit.framework/Headers/UITableView.h", "UITableViewStyleInsetGrouped",
       ui::UITableViewStyleInsetGrouped},
      {"UIKit.framework/Headers/UITableViewCell.h", "UITableViewCellStyleSubtitle",
       ui::UITableViewCellStyleSubtitle},
      {"UIKit.framework/Headers/UITableViewCell.h", "UITableViewCellAccessoryCheckmark",
       ui::UITableViewCellAccessoryCheckmark},
      {"UIKit.framework/Headers/UIImage.h", "UIImageRenderingModeAlwaysTemplate",
       ui::UIImageRenderingModeAlwaysTemplate},
      {"UIKit.framework/Headers/UIStackView.h", "UILayoutConstraintAxisVertical",
       ui::UILayoutConstraintAxisVertical},
  };
  for (const Case& c : cases) {
    const std::optional<long> sdk = sdk_value(c.header, c.name);
    if (!sdk) {
      // UILayoutConstraintAxis lives in UIView.h.
      const std::optional<long> other = sdk_value("UIKit.framework/Headers/UIView.h", c.name);
      ASSERT_TRUE(other.has_value()) << c.name;
      EXPECT_EQ(*other, c.value) << c.name;
      continue;
    }
    EXPECT_EQ(*sdk, c.value) << c.name;
  }
}

}  // namespace
