// Replacing a method never costs a class its +initialize, whichever side is replaced and
// whether or not the class has received a message before.
#include <gtest/gtest.h>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/message.hpp"
#include "common/objc/swizzle.hpp"

namespace {

constinit objc::Message<void()> kInitialize{"initialize"};
constinit objc::Message<int()> kAnswer{"answer"};

int g_initialized = 0;
void count_initialize(id, SEL) { ++g_initialized; }
int one(id, SEL) { return 1; }
int two(id, SEL) { return 2; }

Class fresh_class(const char* name) {
  return objc::ClassBuilder(name, "NSObject")
      .classMethod(kInitialize, &count_initialize)
      .classMethod(kAnswer, &one)
      .method(kAnswer, &one)
      .build();
}

TEST(SwizzleInitialize, ReplacingAClassMethodFirstStillInitialisesTheClass) {
  Class cls = fresh_class("HVSwizzleInitClassSide");
  g_initialized = 0;
  ASSERT_EQ(objc::replaceClassMethod(cls, objc::sel("answer"), reinterpret_cast<IMP>(&two)),
            reinterpret_cast<IMP>(&one));
  EXPECT_EQ(objc::send<int>(cls, objc::sel("answer")), 2);
  EXPECT_EQ(g_initialized, 1);
}

TEST(SwizzleInitialize, ReplacingAnInstanceMethodFirstStillInitialisesTheClass) {
  Class cls = fresh_class("HVSwizzleInitInstanceSide");
  g_initialized = 0;
  objc::replaceInstanceMethod(cls, objc::sel("answer"), reinterpret_cast<IMP>(&two));
  objc::Ref object =
      objc::Ref::adopt(objc::send<id>(objc::send<id>(cls, objc::sel("alloc")), objc::sel("init")));
  EXPECT_EQ(objc::send<int>(object.get(), objc::sel("answer")), 2);
  EXPECT_EQ(objc::send<int>(cls, objc::sel("answer")), 1);
  EXPECT_EQ(g_initialized, 1);
}

}  // namespace
