// The one Objective-C++ file of the project: @try/@catch needs the language.
#import <Foundation/Foundation.h>

#include "common/objc/exception.hpp"

namespace objc {
namespace detail {

bool runCatchingNsexception(void (*body)(void*), void* context, std::string* reason) {
  @try {
    body(context);
    return true;
  } @catch (NSException* exception) {
    if (reason) {
      const char* text = [[exception reason] UTF8String];
      *reason = text ? text : "";
    }
    return false;
  }
}

}  // namespace detail

void raiseException(const char* name, const char* reason) {
  [NSException raise:[NSString stringWithUTF8String:name]
              format:@"%@", [NSString stringWithUTF8String:reason]];
  __builtin_unreachable();
}

}  // namespace objc
