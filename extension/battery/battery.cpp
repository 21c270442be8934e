#include "extension/battery/battery.hpp"

#include <cmath>

#include "common/iokit/iokit.hpp"

namespace halvernic::battery {

namespace {

// The property's value as a reading, or nothing.
std::optional<int> readingOf(CFTypeRef value) noexcept {
  if (!value || CFGetTypeID(value) != CFNumberGetTypeID()) return std::nullopt;
  double hundredths = 0;
  // A float or an integer reads exactly enough as a double; a failed conversion is none.
  if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberFloat64Type, &hundredths)) {
    return std::nullopt;
  }
  if (!std::isfinite(hundredths) || hundredths < kLowestPlausibleCentiCelsius ||
      hundredths > kHighestPlausibleCentiCelsius) {
    return std::nullopt;
  }
  return static_cast<int>(std::lround(hundredths));
}

}  // namespace

std::optional<int> readTemperatureCentiCelsius() noexcept {
  CFMutableDictionaryRef matching = IOServiceMatching(kBatteryServiceClass);
  if (!matching) return std::nullopt;
  // The lookup consumes the matching dictionary.
  const io_service_t battery = IOServiceGetMatchingService(kIOMainPortDefault, matching);
  if (battery == IO_OBJECT_NULL) return std::nullopt;
  CFStringRef key =
      CFStringCreateWithCString(kCFAllocatorDefault, kTemperatureProperty, kCFStringEncodingUTF8);
  std::optional<int> reading;
  if (key) {
    CFTypeRef value = IORegistryEntryCreateCFProperty(battery, key, kCFAllocatorDefault, 0);
    reading = readingOf(value);
    if (value) CFRelease(value);
    CFRelease(key);
  }
  IOObjectRelease(battery);
  return reading;
}

}  // namespace halvernic::battery
