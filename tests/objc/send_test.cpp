// Message sending, ownership and method replacement against real GNUstep classes and
// classes built from C++.
#include <gtest/gtest.h>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/message.hpp"
#include "common/objc/ref.hpp"
#include "common/objc/swizzle.hpp"

namespace {

struct Rect {
  double x, y, w, h;
};
}  // namespace

template <>
struct objc::Encoding<Rect> {
  static constexpr const char* value = "{Rect=dddd}";
};

namespace {

constinit objc::Message<int()> kAnswer{"answer"};
constinit objc::Message<Rect()> kRect{"rect"};
constinit objc::Message<double(double, int)> kScaled{"scaled:by:"};
constinit objc::Message<BOOL()> kFlag{"flag"};
constinit objc::Message<unsigned long long(long long)> kWide{"wide:"};
constinit objc::Message<int()> kDescribe{"describe"};
constinit objc::Message<int()> kBump{"bump"};

int base_answer(id, SEL) { return 41; }
int derived_answer(id self, SEL cmd) {
  return objc::sendSuper<int>(self, objc::cls("HVTestDerived"), cmd) + 1;
}
Rect base_rect(id, SEL) { return {1, 2, 3, 4}; }
double base_scaled(id, SEL, double v, int by) { return v * by; }
BOOL base_flag(id, SEL) { return YES; }
unsigned long long base_wide(id, SEL, long long v) {
  return static_cast<unsigned long long>(v) * 2;
}
int base_describe(id, SEL) { return 1; }

IMP g_saved_describe = nullptr;
int replaced_describe(id self, SEL cmd) {
  return objc::call<int>(g_saved_describe, self, cmd) + 100;
}

Class base_class() {
  static Class c = objc::ClassBuilder("HVTestBase", "NSObject")
                       .method(kAnswer, &base_answer)
                       .method(kRect, &base_rect)
                       .method(kScaled, &base_scaled)
                       .method(kFlag, &base_flag)
                       .method(kWide, &base_wide)
                       .method(kDescribe, &base_describe)
                       .build();
  return c;
}
Class derived_class() {
  base_class();
  static Class c =
      objc::ClassBuilder("HVTestDerived", "HVTestBase").method(kAnswer, &derived_answer).build();
  return c;
}
id make(Class c) {
  return objc::send<id>(objc::send<id>(c, objc::sel("alloc")), objc::sel("init"));
}

TEST(Send, TypedResultsAndArguments) {
  objc::Ref obj = objc::Ref::adopt(make(base_class()));
  EXPECT_EQ(objc::send<int>(obj.get(), kAnswer), 41);
  Rect r = objc::send<Rect>(obj.get(), kRect);
  EXPECT_EQ(r.x, 1);
  EXPECT_EQ(r.h, 4);
  EXPECT_DOUBLE_EQ(objc::send<double>(obj.get(), kScaled, 1.5, 3), 4.5);
  EXPECT_TRUE(objc::sendBool(obj.get(), kFlag));
  EXPECT_EQ(objc::send<unsigned long long>(obj.get(), kWide, 1LL << 40), 1ULL << 41);
}

TEST(Send, NilAnswersZeroForEveryResultType) {
  id nil_object = nullptr;
  EXPECT_EQ(objc::send<int>(nil_object, kAnswer), 0);
  EXPECT_EQ(objc::send<id>(nil_object, kAnswer), nullptr);
  EXPECT_FALSE(objc::sendBool(nil_object, kFlag));
  EXPECT_EQ(objc::send<double>(nil_object, kScaled, 2.0, 2), 0.0);
  Rect r = objc::send<Rect>(nil_object, kRect);
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.w, 0);
  EXPECT_EQ(r.h, 0);
  objc::send(nil_object, kDescribe);  // void: nothing happens
}

TEST(Send, SuperSendAndClassLookup) {
  objc::Ref obj = objc::Ref::adopt(make(derived_class()));
  EXPECT_EQ(objc::send<int>(obj.get(), kAnswer), 42);
  EXPECT_EQ(objc::cls("HVTestNoSuchClass"), nullptr);
  constinit static objc::ClassName name{"HVTestDerived"};
  EXPECT_EQ(name.get(), derived_class());
  EXPECT_TRUE(objc::isKindOf(obj.get(), base_class()));
  EXPECT_FALSE(objc::respondsTo(obj.get(), objc::sel("noSuchSelector")));
}

TEST(Swizzle, InheritedMethodIsAddedToSubclassAndCallsInherited) {
  Class derived = derived_class();
  g_saved_describe =
      objc::replaceInstanceMethod(derived, kDescribe, reinterpret_cast<IMP>(&replaced_describe));
  ASSERT_EQ(g_saved_describe, reinterpret_cast<IMP>(&base_describe));
  objc::Ref d = objc::Ref::adopt(make(derived));
  objc::Ref b = objc::Ref::adopt(make(base_class()));
  EXPECT_EQ(objc::send<int>(d.get(), kDescribe), 101);
  EXPECT_EQ(objc::send<int>(b.get(), kDescribe), 1) << "the superclass keeps its own method";
  EXPECT_EQ(objc::replaceInstanceMethod(derived, objc::sel("noSuchSelector"),
                                        reinterpret_cast<IMP>(&replaced_describe)),
            nullptr);
  EXPECT_EQ(
      objc::replaceInstanceMethod(nullptr, kDescribe, reinterpret_cast<IMP>(&replaced_describe)),
      nullptr);
}

int g_counter_destroyed = 0;
struct Counter {
  int value = 0;
  ~Counter() { ++g_counter_destroyed; }
};
int bump(id self, SEL) { return ++objc::storage<Counter>(self).value; }

TEST(ClassBuilder, PerInstanceStorageLivesAndDiesWithTheInstance) {
  Class c = objc::ClassBuilder("HVTestCounter", "NSObject")
                .method(kBump, &bump)
                .storage<Counter>()
                .build();
  ASSERT_NE(c, nullptr);
  const int destroyed_before = g_counter_destroyed;
  {
    objc::Ref a = objc::Ref::adopt(make(c));
    objc::Ref b = objc::Ref::adopt(make(c));
    EXPECT_EQ(objc::send<int>(a.get(), objc::sel("bump")), 1);
    EXPECT_EQ(objc::send<int>(a.get(), objc::sel("bump")), 2);
    EXPECT_EQ(objc::send<int>(b.get(), objc::sel("bump")), 1);
  }
  EXPECT_EQ(g_counter_destroyed, destroyed_before + 2);
  // A second builder for a registered name fails loudly instead of answering the
  // existing class with the new methods dropped.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(objc::ClassBuilder("HVTestCounter", "NSObject").build(), "already exists");
}

}  // namespace
