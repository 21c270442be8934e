// IOKit, the subset this system uses (common/iokit/iokit.hpp): services matched by class
// name in a registry that lives below the device root (<hvplatform/iokit_registry.h>).
//
// An entry's properties are read from its file at each IORegistryEntryCreateCFProperty, so
// a reader sees the hardware as it is now. Objects are numbers handed out from a table, as
// mach ports are: releasing one that is not in the table is refused.
#include <sys/stat.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>

#include "common/iokit/iokit.hpp"
#include "common/objc/foundation.hpp"
#include "hvplatform/environment.h"
#include "hvplatform/iokit_registry.h"

namespace {

constexpr char kProviderClassKey[] = "IOProviderClass";

id as_object(CFTypeRef cf) { return const_cast<id>(static_cast<const objc_object*>(cf)); }

// The file of the registry entry of class name, or "" without a device root.
std::string entry_path(const std::string& name) {
  const char* root = std::getenv(HV_ENV_DEVICE_ROOT);
  if (!root || !*root || name.empty() || name.find('/') != std::string::npos) return {};
  return std::string(root) + "/" HV_IOREGISTRY_FOLDER "/" + name + ".plist";
}

bool is_entry(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

class Objects {
public:
  static Objects& instance() {
    static auto* objects = new Objects;  // never destroyed: objects may outlive statics
    return *objects;
  }
  io_object_t add(std::string name) {
    std::lock_guard lock(mutex_);
    const io_object_t object = next_++;
    names_.emplace(object, std::move(name));
    return object;
  }
  bool find(io_object_t object, std::string& name) {
    std::lock_guard lock(mutex_);
    const auto it = names_.find(object);
    if (it == names_.end()) return false;
    name = it->second;
    return true;
  }
  bool remove(io_object_t object) {
    std::lock_guard lock(mutex_);
    return names_.erase(object) > 0;
  }

private:
  std::mutex mutex_;
  io_object_t next_ = 0x1003;  // as port names go: never 0 (IO_OBJECT_NULL)
  std::unordered_map<io_object_t, std::string> names_;
};

}  // namespace

#define HV_IOKIT_API extern "C" [[gnu::visibility("default")]]

HV_IOKIT_API const mach_port_t kIOMainPortDefault = MACH_PORT_NULL;

HV_IOKIT_API CFMutableDictionaryRef IOServiceMatching(const char* name) {
  if (!name) return nullptr;
  objc::AutoreleasePool pool;
  objc::Ref matching = objc::makeMutableDictionary();
  objc::dictionarySet(matching.get(), kProviderClassKey, objc::string(name));
  return static_cast<CFMutableDictionaryRef>(static_cast<void*>(matching.leak()));
}

HV_IOKIT_API io_service_t IOServiceGetMatchingService(mach_port_t, CFDictionaryRef matching) {
  if (!matching) return IO_OBJECT_NULL;
  // The matching dictionary is the caller's no more, whatever the answer.
  const objc::Ref owned = objc::Ref::adopt(as_object(matching));
  objc::AutoreleasePool pool;
  id name = objc::dictionaryGet(owned.get(), kProviderClassKey);
  if (!objc::isString(name)) return IO_OBJECT_NULL;
  std::string className = objc::toString(name);
  if (!is_entry(entry_path(className))) return IO_OBJECT_NULL;
  return Objects::instance().add(std::move(className));
}

HV_IOKIT_API CFTypeRef IORegistryEntryCreateCFProperty(io_registry_entry_t entry, CFStringRef key,
                                                       CFAllocatorRef, IOOptionBits) {
  std::string className;
  if (!key || !Objects::instance().find(entry, className)) return nullptr;
  const std::string path = entry_path(className);
  if (!is_entry(path)) return nullptr;
  objc::AutoreleasePool pool;
  const objc::Ref properties = objc::readPropertyListFile(path, HV_IOREGISTRY_MAX_ENTRY_BYTES);
  if (!objc::isDictionary(properties.get()) || !objc::isString(as_object(key))) return nullptr;
  id value = objc::dictionaryGet(properties.get(), as_object(key));
  return value ? static_cast<CFTypeRef>(objc::retain(value)) : nullptr;
}

HV_IOKIT_API kern_return_t IOObjectRelease(io_object_t object) {
  return Objects::instance().remove(object) ? KERN_SUCCESS : KERN_INVALID_ARGUMENT;
}
