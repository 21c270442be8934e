#include "common/objc/system_version.hpp"

#include <cstdlib>
#include <string>

#include "common/objc/foundation.hpp"
#include "common/objc/runtime.hpp"

namespace objc {

SystemVersion parseSystemVersion(const char* text) noexcept {
  SystemVersion v;
  if (!text) return v;
  long* parts[] = {&v.major, &v.minor, &v.patch};
  const char* p = text;
  for (long* part : parts) {
    char* end = nullptr;
    long value = std::strtol(p, &end, 10);
    if (end == p || value < 0) break;
    *part = value;
    if (*end != '.') break;
    p = end + 1;
  }
  return v;
}

bool versionAtLeast(const SystemVersion& v, long major, long minor, long patch) noexcept {
  if (v.major != major) return v.major > major;
  if (v.minor != minor) return v.minor > minor;
  return v.patch >= patch;
}

#if defined(__APPLE__)

namespace {
struct OperatingSystemVersion {  // NSOperatingSystemVersion: three NSIntegers
  long major, minor, patch;
};
}  // namespace

bool systemVersionAtLeast(long major, long minor, long patch) noexcept {
  id info = send<id>(cls("NSProcessInfo"), sel("processInfo"));
  return sendBool(info, sel("isOperatingSystemAtLeastVersion:"),
                  OperatingSystemVersion{major, minor, patch});
}

#else

bool systemVersionAtLeast(long major, long minor, long patch) noexcept {
  Class device_class = cls("UIDevice");
  if (!device_class) return false;
  id device = send<id>(device_class, sel("currentDevice"));
  std::string text = toString(send<id>(device, sel("systemVersion")));
  return versionAtLeast(parseSystemVersion(text.c_str()), major, minor, patch);
}

#endif

}  // namespace objc
