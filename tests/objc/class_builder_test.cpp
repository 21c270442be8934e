// The class builder's object ivars (key-value coding, release at dealloc), Apple's struct
// and block encodings, protocols, extending a class that exists, and its loud failures;
// typed messages, blocks kept as C++ values, and the system version question.
#include <gtest/gtest.h>

#include "common/objc/block.hpp"
#include "common/objc/class_builder.hpp"
#include "common/objc/exception.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/message.hpp"
#include "common/objc/ref.hpp"
#include "common/objc/system_version.hpp"
#include "common/objc/weak.hpp"

namespace {
struct Point2 {
  double x, y;
};
struct Box {
  Point2 origin, size;
};
}  // namespace
HALVERNIC_OBJC_STRUCT_ENCODING(Point2, "{CGPoint=dd}");
HALVERNIC_OBJC_STRUCT_ENCODING(Box, "{CGRect={CGPoint=dd}{CGSize=dd}}");

namespace {

constinit objc::Selector kAlloc{"alloc"};
constinit objc::Message<id()> kInit{"init"};
constinit objc::Message<void()> kDealloc{"dealloc"};
constinit objc::Selector kValueForKey{"valueForKey:"};
constinit objc::Selector kSetValueForKey{"setValue:forKey:"};

id make(Class c) { return objc::send<id>(objc::send<id>(c, kAlloc), kInit); }

int g_probe_deallocs = 0;
void probe_dealloc(id self, SEL cmd) {
  ++g_probe_deallocs;
  objc::sendSuper(self, objc::cls("HVIvarProbe"), cmd);
}
Class probe_class() {
  static Class c =
      objc::ClassBuilder("HVIvarProbe", "NSObject").method(kDealloc, &probe_dealloc).build();
  return c;
}

struct Note {
  int* destroyed = nullptr;
  ~Note() {
    if (destroyed) ++*destroyed;
  }
};

Class module_class() {
  static Class c = objc::ClassBuilder("HVIvarModule", "NSObject")
                       .ivar("_contentViewController")
                       .ivar("backgroundViewController")
                       .storage<Note>()
                       .build();
  return c;
}
Class module_subclass() {
  module_class();
  static Class c =
      objc::ClassBuilder("HVIvarModuleChild", "HVIvarModule").ivar("_titleLabel").build();
  return c;
}

TEST(ClassBuilderIvars, KeyValueCodingFindsNamedIvarsWithAndWithoutUnderscore) {
  objc::AutoreleasePool pool;
  objc::Ref module = objc::Ref::adopt(make(module_subclass()));
  objc::Ref content = objc::Ref::adopt(make(probe_class()));
  objc::Ref label = objc::Ref::adopt(make(probe_class()));
  objc::setIvar(module.get(), "_contentViewController", content.get());
  objc::send(module.get(), kSetValueForKey, label.get(), objc::string("_titleLabel"));

  EXPECT_EQ(objc::send<id>(module.get(), kValueForKey, objc::string("_contentViewController")),
            content.get());
  EXPECT_EQ(objc::send<id>(module.get(), kValueForKey, objc::string("_titleLabel")), label.get());
  EXPECT_EQ(objc::getIvar(module.get(), "_titleLabel"), label.get());
  // An ivar never assigned reads nil through key-value coding.
  EXPECT_EQ(objc::send<id>(module.get(), kValueForKey, objc::string("backgroundViewController")),
            nullptr);
  // A key that names nothing raises, as on iOS.
  EXPECT_FALSE(objc::catchException(
      [&] { objc::send<id>(module.get(), kValueForKey, objc::string("_noSuchIvar")); }));
}

TEST(ClassBuilderIvars, DeallocReleasesEveryLevelsIvarsAndStorageOnce) {
  int destroyed = 0;
  const int deallocs_before = g_probe_deallocs;
  {
    objc::Ref module = objc::Ref::adopt(make(module_subclass()));
    objc::storage<Note>(module.get()).destroyed = &destroyed;
    objc::Ref a = objc::Ref::adopt(make(probe_class()));
    objc::Ref b = objc::Ref::adopt(make(probe_class()));
    objc::setIvar(module.get(), "_contentViewController", a.get());
    objc::setIvar(module.get(), "_titleLabel", b.get());
    objc::setIvar(module.get(), "_titleLabel", a.get());  // b released here by the ivar
    // A weak reference moves the object to a tracked subclass; dealloc still finds its levels.
    objc::WeakRef weak(module.get());
  }
  EXPECT_EQ(g_probe_deallocs, deallocs_before + 2);
  EXPECT_EQ(destroyed, 1);
}

id probe_init(id self, SEL) { return self; }

TEST(ClassBuilderFailures, FailLoudly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // GNUstep and the sanitizers run threads
  EXPECT_DEATH(objc::ClassBuilder("HVNoSuper", "HVNoSuchClass"), "HVNoSuchClass");
  EXPECT_DEATH(objc::ClassBuilder("NSObject", "NSObject"), "already exists");
  EXPECT_DEATH(objc::ClassBuilder::extend("HVNoSuchClass"), "no such class");
  EXPECT_DEATH(objc::ClassBuilder("HVTwice", "NSObject").ivar("_a").ivar("_a"), "already taken");
  EXPECT_DEATH(objc::ClassBuilder("HVTwiceM", "NSObject")
                   .method(kDealloc, &probe_dealloc)
                   .method(kDealloc, &probe_dealloc),
               "already defined");
  EXPECT_DEATH(objc::ClassBuilder("HVOwnDealloc", "NSObject")
                   .ivar("_a")
                   .method(kDealloc, &probe_dealloc)
                   .build(),
               "defines dealloc");
  EXPECT_DEATH(objc::ClassBuilder("HVNoProto", "NSObject").protocol("HVNoSuchProtocol"),
               "HVNoSuchProtocol");
  EXPECT_DEATH(objc::ClassBuilder::extend("NSObject").method(kInit, &probe_init),
               "already defined");
}

long answer_row(id, SEL) { return 7; }
constinit objc::Message<long()> kRow{"hvRow"};

TEST(ClassBuilderExtend, AddsMethodsToAnExistingClassAndAdoptsProtocols) {
  Class c = objc::ClassBuilder::extend("NSNumber").method(kRow, &answer_row).build();
  EXPECT_EQ(c, objc::cls("NSNumber"));
  EXPECT_EQ(kRow.send(objc::number(1)), 7);

  Protocol* copying = objc_getProtocol("NSCopying");
  ASSERT_NE(copying, nullptr);
  Class adopter = objc::ClassBuilder("HVCopyingAdopter", "NSObject").protocol("NSCopying").build();
  EXPECT_TRUE(class_conformsToProtocol(adopter, copying));
}

Box box_of(id, SEL, Point2 p, void (^)(bool)) { return {p, {1, 1}}; }

TEST(Encodings, StructsAndBlocksUseApplesEncodings) {
  EXPECT_EQ(objc::methodEncoding(&box_of), "{CGRect={CGPoint=dd}{CGSize=dd}}@:{CGPoint=dd}@?");
  static constinit objc::Message<void(float)> set_opacity{"setShadowOpacity:"};
  EXPECT_EQ(set_opacity.types(), "v@:f");
  static constinit objc::Message<Box(Point2, void (^)(bool))> box_at{"boxAt:then:"};
  Class c = objc::ClassBuilder("HVBoxMaker", "NSObject").method(box_at, &box_of).build();
  Method m = class_getInstanceMethod(c, objc::sel("boxAt:then:"));
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(method_getTypeEncoding(m), "{CGRect={CGPoint=dd}{CGSize=dd}}@:{CGPoint=dd}@?");
  // A struct result travels by value through a typed message.
  objc::Ref maker = objc::Ref::adopt(make(c));
  Box b = box_at.send(maker.get(), Point2{3, 4}, nullptr);
  EXPECT_EQ(b.origin.x, 3);
  EXPECT_EQ(b.size.y, 1);
  // nil answers a zeroed struct.
  Box none = box_at.send(static_cast<id>(nullptr), Point2{3, 4}, nullptr);
  EXPECT_EQ(none.origin.x, 0);
}

TEST(Blocks, HeldBlocksOutliveTheirScopeAndReleaseCapturedRefs) {
  objc::Block<int(int)> held;
  const int deallocs_before = g_probe_deallocs;
  {
    objc::Ref captured = objc::Ref::adopt(make(probe_class()));
    int base = 40;
    held = objc::Block<int(int)>(^(int v) {
      return base + v + (captured ? 0 : 100);
    });
  }
  EXPECT_EQ(g_probe_deallocs, deallocs_before);  // the copied block keeps the Ref alive
  EXPECT_EQ(held(2), 42);
  objc::Block<int(int)> copy = held;
  held = {};
  EXPECT_EQ(g_probe_deallocs, deallocs_before);
  EXPECT_EQ(copy(1), 41);
  copy = {};
  EXPECT_EQ(g_probe_deallocs, deallocs_before + 1);
  EXPECT_FALSE(copy);
}

TEST(SystemVersion, ComparesNumericallyNotAsText) {
  EXPECT_TRUE(objc::versionAtLeast(objc::parseSystemVersion("13.0"), 13));
  EXPECT_TRUE(objc::versionAtLeast(objc::parseSystemVersion("15.6.1"), 13));
  EXPECT_FALSE(objc::versionAtLeast(objc::parseSystemVersion("12.5.7"), 13));
  EXPECT_TRUE(objc::versionAtLeast(objc::parseSystemVersion("13.10"), 13, 9));  // "13.10" > "13.9"
  EXPECT_FALSE(objc::versionAtLeast(objc::parseSystemVersion("9.3"), 13));  // "9" > "13" as text
  EXPECT_FALSE(objc::versionAtLeast(objc::parseSystemVersion("12.2"), 12, 3));
  EXPECT_FALSE(objc::versionAtLeast(objc::parseSystemVersion("garbage"), 1));
  EXPECT_FALSE(objc::versionAtLeast(objc::parseSystemVersion(nullptr), 1));
}

}  // namespace

namespace {
struct BaseState {
  int value = 1;
};
struct ChildState {
  double other = 2.5;
};

TEST(ClassBuilderStorage, ASubclassKeepsItsOwnStorageBesideItsSuperclasses) {
  Class base = objc::ClassBuilder("HVStorageBase", "NSObject").storage<BaseState>().build();
  Class child = objc::ClassBuilder("HVStorageChild", "HVStorageBase").storage<ChildState>().build();
  objc::Ref c = objc::Ref::adopt(make(child));
  objc::storage<BaseState>(c.get()).value = 42;
  objc::storage<ChildState>(c.get()).other = 7.5;
  EXPECT_EQ(objc::storage<BaseState>(c.get()).value, 42);
  EXPECT_EQ(objc::storage<ChildState>(c.get()).other, 7.5);
  objc::Ref b = objc::Ref::adopt(make(base));
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(objc::storage<ChildState>(b.get()), "no storage of this type");
}
}  // namespace
