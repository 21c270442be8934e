#include "extension/config/file_manager.hpp"

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"

objc::Ref HFileManager::readPropertyList(std::string_view path) {
  objc::AutoreleasePool pool;
  // One bounded read of the whole file, parsed inside the bridge's exception boundary;
  // nil for every failure on the way.
  return stringKeyedDictionary(halvernic::contract::read_preferences_property_list(path));
}

objc::Ref HFileManager::stringKeyedDictionary(objc::Ref plist) {
  if (objc::is_dictionary(plist.get()) && objc::all_keys_are_strings(plist.get())) return plist;
  return objc::make_mutable_dictionary();
}
