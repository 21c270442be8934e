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
  objc::Ref preferences = objc::make_mutable_dictionary();
  objc::dictionary_set(preferences.get(), "thermalPowerMode", objc::string("fullPower"));
  objc::dictionary_set(preferences.get(), "thermalPreventDimmingEnabled", objc::boolean(true));
  objc::dictionary_set(preferences.get(), "thermalSuppressNotificationsEnabled", objc::number(2));
  char folder[] = "/tmp/hv-leak-child-XXXXXX";
  if (!mkdtemp(folder)) std::exit(3);
  const std::string path = std::string(folder) + "/prefs.plist";
  if (!objc::write_property_list_xml_atomically(preferences.get(), path)) std::exit(4);
  objc::Ref read = objc::read_property_list_file(path);
  if (!objc::objects_equal(read.get(), preferences.get())) std::exit(5);
  std::remove(path.c_str());
  rmdir(folder);
  (void)objc::platform_bool_value(objc::string("Yes"));
  objc::log("leak child: %d entries", static_cast<int>(objc::count(read.get())));
}

// Mutable dictionaries, each holding a string, whose references this function drops.
[[gnu::noinline]] void lose_dictionaries(int n) {
  for (int i = 0; i < n; ++i) {
    objc::AutoreleasePool pool;
    objc::Ref dictionary = objc::make_mutable_dictionary();
    objc::dictionary_set(dictionary.get(), "thermalPowerMode", objc::string("lowPower"));
    (void)dictionary.leak();  // +1 and forgotten
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool leak = argc > 1 && std::strcmp(argv[1], "leak") == 0;
  objc::attach_current_thread();
  use_foundation();
  std::thread worker([] { objc::run_attached(&use_foundation); });
  worker.join();
  if (leak) lose_dictionaries(100);
  std::puts("leak child: done");
  return 0;
}
