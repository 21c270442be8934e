#include "extension/config/file_manager.hpp"

#include "common/objc/foundation.hpp"

objc::Ref HFileManager::readPropertyList(std::string_view path) {
  objc::AutoreleasePool pool;
  // Reads the whole file into data and parses it inside the bridge's exception boundary;
  // nil for every failure on the way.
  objc::Ref plist = objc::read_property_list_file(path);
  if (objc::is_dictionary(plist.get()) && objc::all_keys_are_strings(plist.get())) return plist;
  return objc::make_mutable_dictionary();
}
