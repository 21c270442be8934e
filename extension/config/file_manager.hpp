// HFileManager: turns a property-list file into a string-keyed dictionary, never failing.
#pragma once

#include <string_view>

#include "common/objc/ref.hpp"

class HFileManager {
public:
  // The dictionary stored in the file at path (XML or binary property list, read with
  // mutable containers), or an empty dictionary when the file is missing or unreadable,
  // is not a property list, or its root is not a dictionary whose keys are all strings.
  // Never raises and logs nothing. The path is used as given (callers resolve it with
  // jbroot first). Keeps no state: any thread, any number at once.
  //
  // A file replaced by renaming a complete new file into place reads as the old or the
  // new content, never a mixture: the file is opened once and read whole.
  // The file is read with the preferences file's bounded read: a file above 1 MiB
  // (contract::kMaxPreferencesFileSize) is unreadable.
  static objc::Ref readPropertyList(std::string_view path);

  // The last step of readPropertyList: plist itself when it is a dictionary whose keys are
  // all strings, otherwise a new empty dictionary.
  static objc::Ref stringKeyedDictionary(objc::Ref plist);

  HFileManager() = delete;
};
