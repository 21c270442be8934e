#include "extension/config/file_manager.hpp"

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"

objc::Ref HFileManager::readPropertyList(std::string_view path) {
  objc::AutoreleasePool pool;
  // One bounded read of the whole file, parsed inside the bridge's exception boundary;
  // nil for every failure on the way.
  return stringKeyedDictionary(halvernic::contract::readPreferencesPropertyList(path));
}

objc::Ref HFileManager::stringKeyedDictionary(objc::Ref plist) {
  if (objc::isDictionary(plist.get()) && objc::allKeysAreStrings(plist.get())) return plist;
  return objc::makeMutableDictionary();
}
