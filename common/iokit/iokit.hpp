// IOKit as the product calls it: the functions that read a property of an I/O Registry
// entry, declared once with the types of Apple's IOKitLib.h. The iPhoneOS SDK carries
// IOKit's stub (IOKit.tbd, which exports every one of them for arm64 and arm64e) but none
// of its headers. Apple's IOKit framework behind them on iOS; on Linux the stand-in of
// platform/iokit, whose registry entries live below the device root.
//
//   io_service_t entry = IOServiceGetMatchingService(kIOMainPortDefault,
//                                                    IOServiceMatching("AppleSmartBattery"));
//   CFTypeRef value = IORegistryEntryCreateCFProperty(entry, key, kCFAllocatorDefault, 0);
//   ... CFRelease(value); IOObjectRelease(entry);
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <mach/kern_return.h>
#include <mach/port.h>

extern "C" {

typedef mach_port_t io_object_t;
typedef io_object_t io_registry_entry_t;
typedef io_object_t io_service_t;
typedef UInt32 IOOptionBits;

#define IO_OBJECT_NULL ((io_object_t)0)

// The main port's default (MACH_PORT_NULL): IOKit uses the task's main port. iOS 15 and
// later (kIOMasterPortDefault before).
extern const mach_port_t kIOMainPortDefault;

// A matching dictionary for the instances of a class (+1; NULL when name is NULL).
CFMutableDictionaryRef IOServiceMatching(const char* name);
// The first registered service that matches. Consumes one reference of matching, whatever
// it answers. IO_OBJECT_NULL when none matches; else an object for IOObjectRelease.
io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching);
// The entry's property under key (+1, the Create rule), or NULL when it has none.
CFTypeRef IORegistryEntryCreateCFProperty(io_registry_entry_t entry, CFStringRef key,
                                          CFAllocatorRef allocator, IOOptionBits options);
kern_return_t IOObjectRelease(io_object_t object);

}  // extern "C"
