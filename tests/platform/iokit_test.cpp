// The IOKit stand-in's registry below the device root, CoreFoundation's number types, and
// the mach clocks with a simulated device's time.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <mach/mach_time.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "common/iokit/iokit.hpp"
#include "common/objc/foundation.hpp"
#include "hvplatform/iokit_registry.h"
#include "hvplatform/mach_testing.h"
#include "tests/support/preferences.hpp"

namespace {

namespace fs = std::filesystem;

id obj(CFTypeRef cf) { return const_cast<id>(static_cast<const objc_object*>(cf)); }

fs::path registry() { return hv_test::device_root() / HV_IOREGISTRY_FOLDER; }

void write_entry(const char* name, std::initializer_list<std::pair<const char*, id>> properties) {
  objc::AutoreleasePool pool;
  fs::create_directories(registry());
  objc::Ref dictionary = objc::makeMutableDictionary();
  for (const auto& [key, value] : properties) objc::dictionarySet(dictionary.get(), key, value);
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(
      dictionary.get(), (registry() / (std::string(name) + ".plist")).string()));
}

CFTypeRef property(io_registry_entry_t entry, const char* key) {
  CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingUTF8);
  CFTypeRef value = IORegistryEntryCreateCFProperty(entry, name, kCFAllocatorDefault, 0);
  CFRelease(name);
  return value;
}

class Registry : public testing::Test {
protected:
  void SetUp() override { fs::remove_all(registry()); }
  void TearDown() override { fs::remove_all(registry()); }
  objc::AutoreleasePool pool_;
};

TEST_F(Registry, AnEntryIsFoundByItsClassAndReadAsItIsNow) {
  write_entry("AppleSmartBattery", {{"Temperature", objc::number(3125)}});
  CFMutableDictionaryRef matching = IOServiceMatching("AppleSmartBattery");
  ASSERT_NE(matching, nullptr);
  EXPECT_TRUE(objc::stringEquals(objc::dictionaryGet(obj(matching), "IOProviderClass"),
                                 "AppleSmartBattery"));
  CFRetain(matching);  // to see that the lookup takes one reference
  const CFIndex before = CFGetRetainCount(matching);
  const io_service_t battery = IOServiceGetMatchingService(kIOMainPortDefault, matching);
  EXPECT_EQ(CFGetRetainCount(matching), before - 1) << "the lookup consumes the matching";
  CFRelease(matching);
  ASSERT_NE(battery, IO_OBJECT_NULL);

  CFTypeRef value = property(battery, "Temperature");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(CFGetTypeID(value), CFNumberGetTypeID());
  EXPECT_EQ(objc::int64Value(obj(value)), 3125);
  CFRelease(value);
  EXPECT_EQ(property(battery, "Voltage"), nullptr) << "no such property";

  // The entry is read at each property: the hardware as it is now.
  write_entry("AppleSmartBattery", {{"Temperature", objc::number(5010)}});
  value = property(battery, "Temperature");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(objc::int64Value(obj(value)), 5010);
  CFRelease(value);

  EXPECT_EQ(IOObjectRelease(battery), KERN_SUCCESS);
  EXPECT_EQ(IOObjectRelease(battery), KERN_INVALID_ARGUMENT) << "released once only";
  EXPECT_EQ(property(battery, "Temperature"), nullptr) << "a released object has no properties";
}

TEST_F(Registry, WhatIsNoEntryMatchesNothing) {
  EXPECT_EQ(IOServiceMatching(nullptr), nullptr);
  EXPECT_EQ(IOServiceGetMatchingService(kIOMainPortDefault, nullptr), IO_OBJECT_NULL);
  EXPECT_EQ(IOServiceGetMatchingService(kIOMainPortDefault, IOServiceMatching("AppleSmartBattery")),
            IO_OBJECT_NULL)
      << "no file";

  // A link, a folder, a name with a slash are no entries.
  write_entry("Elsewhere", {{"Temperature", objc::number(1)}});
  fs::create_symlink(registry() / "Elsewhere.plist", registry() / "Linked.plist");
  fs::create_directories(registry() / "Folder.plist");
  for (const char* name : {"Linked", "Folder", "../ioregistry/Elsewhere", ""}) {
    EXPECT_EQ(IOServiceGetMatchingService(kIOMainPortDefault, IOServiceMatching(name)),
              IO_OBJECT_NULL)
        << name;
  }
  EXPECT_EQ(IOObjectRelease(IO_OBJECT_NULL), KERN_INVALID_ARGUMENT);

  // An entry whose file is no dictionary has no properties.
  std::FILE* file = std::fopen((registry() / "Broken.plist").c_str(), "w");
  std::fputs("not a property list", file);
  std::fclose(file);
  const io_service_t broken =
      IOServiceGetMatchingService(kIOMainPortDefault, IOServiceMatching("Broken"));
  ASSERT_NE(broken, IO_OBJECT_NULL);
  EXPECT_EQ(property(broken, "Temperature"), nullptr);
  IOObjectRelease(broken);
}

TEST(CoreFoundationNumbers, TypesAndConversionsAsThePlatformAnswersThem) {
  objc::AutoreleasePool pool;
  EXPECT_EQ(CFGetTypeID(objc::number(3)), CFNumberGetTypeID());
  EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID()) << "a Boolean is no number";
  EXPECT_NE(CFBooleanGetTypeID(), CFNumberGetTypeID());
  EXPECT_EQ(CFGetTypeID(objc::string("3125")), CFStringGetTypeID());
  EXPECT_NE(CFGetTypeID(objc::makeMutableDictionary().get()), CFNumberGetTypeID());

  auto number = [](id value) { return static_cast<CFNumberRef>(static_cast<const void*>(value)); };
  SInt32 i32 = 0;
  EXPECT_TRUE(CFNumberGetValue(number(objc::number(3125)), kCFNumberSInt32Type, &i32));
  EXPECT_EQ(i32, 3125);
  EXPECT_FALSE(
      CFNumberGetValue(number(objc::number(INT64_C(5000000000))), kCFNumberSInt32Type, &i32))
      << "out of range";
  EXPECT_EQ(i32, INT32_MAX) << "saturated";
  EXPECT_FALSE(CFNumberGetValue(number(objc::numberDouble(31.5)), kCFNumberSInt32Type, &i32))
      << "a fraction is lost";
  EXPECT_EQ(i32, 31);
  SInt64 i64 = 0;
  EXPECT_TRUE(
      CFNumberGetValue(number(objc::number(INT64_C(9007199254740993))), kCFNumberSInt64Type, &i64));
  EXPECT_EQ(i64, INT64_C(9007199254740993)) << "every digit of a 64-bit integer";
  double d = 0;
  EXPECT_TRUE(CFNumberGetValue(number(objc::number(4480)), kCFNumberFloat64Type, &d));
  EXPECT_EQ(d, 4480.0);
  EXPECT_FALSE(CFNumberGetValue(number(objc::boolean(true)), kCFNumberFloat64Type, &d));
  EXPECT_FALSE(CFNumberGetValue(number(objc::number(1)), static_cast<CFNumberType>(99), &d));
}

TEST(MachClock, ContinuousTimeFollowsTheDeviceOnceSetAndTheBootClockOtherwise) {
  mach_timebase_info_data_t info{};
  ASSERT_EQ(mach_timebase_info(&info), KERN_SUCCESS);
  EXPECT_EQ(info.numer, 1u);
  EXPECT_EQ(info.denom, 1u);
  EXPECT_EQ(mach_timebase_info(nullptr), KERN_INVALID_ARGUMENT);

  EXPECT_FALSE(HVMachFollowsDeviceTime());
  const std::uint64_t boot = mach_continuous_time();
  EXPECT_GE(mach_continuous_time(), boot);
  HVMachSetDeviceTime(42'000'000'000u);
  EXPECT_TRUE(HVMachFollowsDeviceTime());
  EXPECT_EQ(mach_continuous_time(), 42'000'000'000u);
  ::usleep(2000);
  EXPECT_EQ(mach_continuous_time(), 42'000'000'000u) << "the device's time moves only when set";
  EXPECT_GT(mach_absolute_time(), 0u) << "the process's own clock keeps running";
  HVMachUseRealTime();
  EXPECT_FALSE(HVMachFollowsDeviceTime());
  EXPECT_GE(mach_continuous_time(), boot);
}

}  // namespace
