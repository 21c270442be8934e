// Methods registered from their typed declarations: the runtime sees the declaration's
// selector and encoding, a subclass's method overrides its superclass's (GNUstep's
// included) instead of standing beside it, and the one deliberate way around the
// declaration's encoding registers exactly what it is given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/objc/class_builder.hpp"
#include "common/objc/encoding.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/message.hpp"
#include "common/objc/ref.hpp"

namespace {
struct Span {
  double start, length;
};
}  // namespace
HALVERNIC_OBJC_STRUCT_ENCODING(Span, "{_NSRange=dd}");

namespace {

constinit objc::Message<int()> kAnswer{"hvAnswer"};
constinit objc::Message<void(float)> kSetOpacity{"hvSetOpacity:"};
constinit objc::Message<Span(Span, BOOL)> kWidened{"hvWiden:inPlace:"};
constinit objc::Message<unsigned long long(long long, id)> kWide{"hvWide:for:"};
constinit objc::Message<void(void (^)(BOOL))> kRunBlock{"hvRun:"};
constinit objc::Message<id(SEL)> kForSelector{"hvObjectFor:"};
constinit objc::Message<id(double)> kMadeWithScale{"hvMadeWithScale:"};
constinit objc::Message<unsigned long()> kHash{"hash"};

int answer_base(id, SEL) { return 1; }
int answer_child(id self, SEL) { return kAnswer.sendSuper(self, objc::cls("HVDeclaredChild")) + 1; }
float g_opacity = 0;
void set_opacity(id, SEL, float value) { g_opacity = value; }
Span widened(id, SEL, Span s, BOOL) { return {s.start - 1, s.length + 2}; }
unsigned long long wide(id, SEL, long long v, id) { return static_cast<unsigned long long>(v) * 2; }
void run_block(id, SEL, void (^block)(BOOL)) { block(YES); }
id for_selector(id self, SEL, SEL) { return self; }
id made_with_scale(id self, SEL, double) { return self; }
unsigned long constant_hash(id, SEL) { return 4242; }

id make(Class c) {
  return objc::send<id>(objc::send<id>(c, objc::sel("alloc")), objc::sel("init"));
}

std::string encoding_of(Method m) { return m ? method_getTypeEncoding(m) : "(no method)"; }

Class declared_base() {
  static Class c = objc::ClassBuilder("HVDeclaredBase", "NSObject")
                       .method(kAnswer, &answer_base)
                       .method(kSetOpacity, &set_opacity)
                       .method(kWidened, &widened)
                       .method(kWide, &wide)
                       .method(kRunBlock, &run_block)
                       .method(kForSelector, &for_selector)
                       .classMethod(kMadeWithScale, &made_with_scale)
                       .build();
  return c;
}
Class declared_child() {
  declared_base();
  static Class c = objc::ClassBuilder("HVDeclaredChild", "HVDeclaredBase")
                       .method(kAnswer, &answer_child)
                       .method(kHash, &constant_hash)
                       .build();
  return c;
}

TEST(DeclaredMethods, TheRuntimeSeesTheDeclarationsSelectorAndEncoding) {
  struct Case {
    const objc::Selector& message;
    std::string declared;
    bool class_side;
  };
  const Case cases[] = {
      {kAnswer, kAnswer.types(), false},
      {kSetOpacity, kSetOpacity.types(), false},
      {kWidened, kWidened.types(), false},
      {kWide, kWide.types(), false},
      {kRunBlock, kRunBlock.types(), false},
      {kForSelector, kForSelector.types(), false},
      {kMadeWithScale, kMadeWithScale.types(), true},
  };
  Class c = declared_base();
  for (const Case& t : cases) {
    SCOPED_TRACE(t.message.name());
    Method m =
        t.class_side ? class_getClassMethod(c, t.message) : class_getInstanceMethod(c, t.message);
    EXPECT_EQ(encoding_of(m), t.declared);
  }
  // The declarations' types as Apple's compiler writes them.
  EXPECT_EQ(kSetOpacity.types(), "v@:f");
  EXPECT_EQ(kWidened.types(),
            "{_NSRange=dd}@:{_NSRange=dd}" + std::string(objc::Encoding<BOOL>::value));
  EXPECT_EQ(kRunBlock.types(), "v@:@?");
  EXPECT_EQ(kForSelector.types(), "@@::");

  // And the methods are called with those types.
  objc::Ref object = objc::Ref::adopt(make(c));
  kSetOpacity.send(object.get(), 0.25f);
  EXPECT_EQ(g_opacity, 0.25f);
  const Span s = kWidened.send(object.get(), Span{3, 4}, YES);
  EXPECT_EQ(s.start, 2);
  EXPECT_EQ(s.length, 6);
  EXPECT_EQ(kWide.send(object.get(), 1LL << 40, nullptr), 1ULL << 41);
  __block bool ran = false;
  kRunBlock.send(object.get(), ^(BOOL flag) {
    ran = objc::fromBool(flag);
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(kMadeWithScale.send(c, 2.0), objc::asId(c));
}

TEST(DeclaredMethods, ASubclassMethodOverridesTheSuperclassesOneOfTheSameSelector) {
  Class base = declared_base();
  Class child = declared_child();
  Method base_answer = class_getInstanceMethod(base, kAnswer);
  Method child_answer = class_getInstanceMethod(child, kAnswer);
  ASSERT_NE(child_answer, nullptr);
  EXPECT_NE(method_getImplementation(child_answer), method_getImplementation(base_answer));
  EXPECT_EQ(encoding_of(child_answer), encoding_of(base_answer));

  // The child's own list holds one method per selector: each registration overrode one of
  // the superclass's, none added a selector of its own.
  unsigned int count = 0;
  Method* own = class_copyMethodList(child, &count);
  std::vector<std::string> names;
  for (unsigned int i = 0; i < count; ++i) names.push_back(sel_getName(method_getName(own[i])));
  free(own);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"hash", "hvAnswer"}));

  objc::Ref parent = objc::Ref::adopt(make(base));
  objc::Ref object = objc::Ref::adopt(make(child));
  EXPECT_EQ(kAnswer.send(parent.get()), 1);
  EXPECT_EQ(kAnswer.send(object.get()), 2) << "the override, which calls the superclass's";

  // Overriding a method of the platform's own runtime: GNUstep's -[NSObject hash] is
  // called as the declaration says (an NSUInteger), and the subclass's answer replaces it.
  Method platform_hash = class_getInstanceMethod(objc::cls("NSObject"), kHash);
  ASSERT_NE(platform_hash, nullptr);
  EXPECT_TRUE(
      objc::sameCallingConvention(method_getTypeEncoding(platform_hash),
                                  encoding_of(class_getInstanceMethod(child, kHash)).c_str()))
      << method_getTypeEncoding(platform_hash);
  EXPECT_EQ(kHash.send(object.get()), 4242u);
  EXPECT_NE(kHash.send(parent.get()), 4242u);
}

TEST(DeclaredMethods, AnEncodingOverrideRegistersTheGivenEncoding) {
  // The simulated daemon's: the declaration's selector, checked implementation, the
  // encoding another binary declares (here one that differs from the declaration's).
  Class retyped = objc::ClassBuilder("HVDeclaredRetyped", "NSObject")
                      .methodWithEncoding(kAnswer, &answer_base, "q16@0:8")
                      .build();
  EXPECT_EQ(encoding_of(class_getInstanceMethod(retyped, kAnswer)), "q16@0:8");
  objc::Ref object = objc::Ref::adopt(make(retyped));
  EXPECT_EQ(kAnswer.send(object.get()), 1);
}

}  // namespace
