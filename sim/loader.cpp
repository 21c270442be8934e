// Injection as the jailbreak's tweak loader does it: dlopen each library after the
// daemon's classes exist, honouring the filter property list beside it.
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/objc/foundation.hpp"
#include "common/objc/runtime.hpp"
#include "sim/sim.hpp"

namespace halvernic::sim {
namespace {

std::string filter_path(const std::string& library) {
  std::string base = library;
  for (const char* ext : {".so", ".dylib"}) {
    const std::string e = ext;
    if (base.size() > e.size() && base.compare(base.size() - e.size(), e.size(), e) == 0) {
      base.erase(base.size() - e.size());
      break;
    }
  }
  return base + ".plist";
}

bool exists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

// A filter list admits the process when its Filter/Executables names it, or its
// Filter/Classes names a class the process has.
bool filter_admits(const std::string& plist_path, std::string_view process_name) {
  objc::AutoreleasePool pool;
  objc::Ref plist = objc::readPropertyListFile(plist_path);
  id filter = objc::dictionaryGet(plist.get(), "Filter");
  id executables = objc::dictionaryGet(filter, "Executables");
  for (std::size_t i = 0; i < objc::count(executables); ++i) {
    if (objc::stringEquals(objc::arrayGet(executables, i), process_name)) return true;
  }
  id classes = objc::dictionaryGet(filter, "Classes");
  for (std::size_t i = 0; i < objc::count(classes); ++i) {
    const std::string name = objc::toString(objc::arrayGet(classes, i));
    if (!name.empty() && objc::cls(name.c_str())) return true;
  }
  return false;
}

bool is_library(const std::filesystem::path& path) {
  return path.extension() == ".dylib" || path.extension() == ".so";
}

}  // namespace

std::vector<std::string> load_injected_libraries(const std::vector<std::string>& paths,
                                                 std::string_view process_name) {
  std::vector<std::string> loaded;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const std::string filter = filter_path(path);
    if (exists(filter) && !filter_admits(filter, process_name)) {
      std::fprintf(stderr, "thermalmonitord: %s filtered out by %s\n", path.c_str(),
                   filter.c_str());
      continue;
    }
    if (!::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
      std::fprintf(stderr, "thermalmonitord: cannot load %s: %s\n", path.c_str(), ::dlerror());
      continue;
    }
    loaded.push_back(path);
  }
  return loaded;
}

std::vector<std::string> tweak_folder_libraries(const std::string& folder,
                                                std::string_view process_name) {
  namespace fs = std::filesystem;
  std::vector<std::string> found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (is_library(it->path())) found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> admitted;
  for (const std::string& library : found) {
    const std::string filter = filter_path(library);
    if (!exists(filter)) {
      std::fprintf(stderr, "thermalmonitord: %s has no filter list; not loaded\n", library.c_str());
    } else if (!filter_admits(filter, process_name)) {
      std::fprintf(stderr, "thermalmonitord: %s filtered out by %s\n", library.c_str(),
                   filter.c_str());
    } else {
      admitted.push_back(library);
    }
  }
  return admitted;
}

}  // namespace halvernic::sim
