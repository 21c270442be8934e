// Checking typed declarations against the classes that implement them.
//
// Each declaration header (uikit.hpp, quartzcore.hpp, preferences.hpp,
// controlcenter.hpp) lists its messages as objc::MessageInfo entries. A test hands the
// list to declarationMismatches() with the stand-ins loaded:
//
//   EXPECT_THAT(ui::declarationMismatches(ui::kUIKitMessages), testing::IsEmpty());
//
// Every entry whose class is missing, whose method is missing, or whose registered types
// differ from the declared ones is reported as one readable line. A method the stand-ins
// register has its declaration's types by construction (the class builder takes them from
// the declaration); what the check still finds is a declared message no class implements,
// and a type difference in a method the platform's runtime provides itself (NSObject's).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "common/objc/message.hpp"

namespace halvernic::ui {

// The types without the frame offsets and qualifiers that compiled methods carry
// ("v24@0:8d16" is "v@:d").
std::string bareTypes(const char* types);

std::vector<std::string> declarationMismatches(std::span<const objc::MessageInfo> declared);

}  // namespace halvernic::ui
