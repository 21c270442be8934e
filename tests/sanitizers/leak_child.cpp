// A program that uses the Foundation the way the extension does (property lists written,
// read and parsed, strings, numbers, Booleans, a thread of its own, NSLog) and then, when
// asked, loses Foundation objects it made itself. The leak test runs it under
// LeakSanitizer with the build's own suppressions.
//
//   leak_child clean   everything it made is released
//   leak_child leak    also drops its only references to mutable dictionaries it made
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"

namespace {

void use_foundation() {
  objc::AutoreleasePool pool;
  objc::Ref preferences = objc::makeMutableDictionary();
  objc::dictionarySet(preferences.get(), "thermalPowerMode", objc::string("fullPower"));
  objc::dictionarySet(preferences.get(), "thermalPreventDimmingEnabled", objc::boolean(true));
  objc::dictionarySet(preferences.get(), "thermalSuppressNotificationsEnabled", objc::number(2));
  char folder[] = "/tmp/hv-leak-child-XXXXXX";
  if (!mkdtemp(folder)) std::exit(3);
  const std::string path = std::string(folder) + "/prefs.plist";
  if (!objc::writePropertyListXmlAtomically(preferences.get(), path)) std::exit(4);
  objc::Ref read = objc::readPropertyListFile(path);
  if (!objc::objectsEqual(read.get(), preferences.get())) std::exit(5);
  std::remove(path.c_str());
  rmdir(folder);
  (void)objc::platformBoolValue(objc::string("Yes"));
  objc::log("leak child: %d entries", static_cast<int>(objc::count(read.get())));
}

// Mutable dictionaries, each holding a string, whose references this function drops.
[[gnu::noinline]] void lose_dictionaries(int n) {
  for (int i = 0; i < n; ++i) {
    objc::AutoreleasePool pool;
    objc::Ref dictionary = objc::makeMutableDictionary();
    objc::dictionarySet(dictionary.get(), "thermalPowerMode", objc::string("lowPower"));
    (void)dictionary.leak();  // +1 and forgotten
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool leak = argc > 1 && std::strcmp(argv[1], "leak") == 0;
  objc::attachCurrentThread();
  use_foundation();
  std::thread worker([] { objc::runAttached(&use_foundation); });
  worker.join();
  if (leak) lose_dictionaries(100);
  std::puts("leak child: done");
  return 0;
}
