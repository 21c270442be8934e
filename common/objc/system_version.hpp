// "Is the system at least iOS major.minor?", the one way product code asks.
//
// On iOS it is the platform's own answer (-[NSProcessInfo
// isOperatingSystemAtLeastVersion:]; clang's __builtin_available needs a runtime library
// this toolchain lacks). On Linux it is the UIKit stand-in's system version
// (-[UIDevice systemVersion], settable by tests, so the older paths run too); without the
// stand-in loaded the answer is false.
#pragma once

namespace objc {

struct SystemVersion {
  long major = 0, minor = 0, patch = 0;
};

// "15.6.1" -> {15, 6, 1}; missing or malformed parts count as 0.
SystemVersion parseSystemVersion(const char* text) noexcept;
bool versionAtLeast(const SystemVersion& version, long major, long minor = 0,
                    long patch = 0) noexcept;

bool systemVersionAtLeast(long major, long minor = 0, long patch = 0) noexcept;

}  // namespace objc
