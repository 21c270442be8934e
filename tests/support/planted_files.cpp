#include "tests/support/planted_files.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace hv_test {
namespace {

namespace fs = std::filesystem;

void write_bytes(const std::string& path, const std::string& bytes) {
  fs::remove_all(path);
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string nested_xml(std::size_t levels) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>a</key>";
  for (std::size_t i = 0; i < levels; ++i) xml += "<array>";
  for (std::size_t i = 0; i < levels; ++i) xml += "</array>";
  return xml + "</dict></plist>\n";
}

// levels arrays inside one another, one-byte references, two-byte offsets.
std::string nested_binary(std::size_t levels) {
  std::string out = "bplist00";
  std::string table;
  for (std::size_t i = 0; i < levels; ++i) {
    table += static_cast<char>(out.size() >> 8);
    table += static_cast<char>(out.size() & 0xFF);
    out +=
        i + 1 == levels ? std::string("\xA0", 1) : std::string("\xA1") + static_cast<char>(i + 1);
  }
  const std::size_t at = out.size();
  out += table;
  std::string trailer(32, '\0');
  trailer[6] = 2;
  trailer[7] = 1;
  trailer[15] = static_cast<char>(levels);
  trailer[30] = static_cast<char>(at >> 8);
  trailer[31] = static_cast<char>(at & 0xFF);
  return out + trailer;
}

}  // namespace

std::vector<PlantedFile> planted_files() {
  std::vector<PlantedFile> files;
  for (const char* folder : {"fuzz/corpus/preferences", "fuzz/corpus/scan", "fuzz/findings"}) {
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(HV_SOURCE_DIR) / folder)) {
      if (entry.path().extension() == ".md") continue;
      const std::string source = entry.path().string();
      files.push_back({std::string(folder) + "/" + entry.path().filename().string(),
                       [source](const std::string& path) {
                         fs::remove_all(path);
                         fs::copy_file(source, path);
                       },
                       false});
    }
  }
  files.push_back({"a megabyte of nested braces",
                   [](const std::string& path) { write_bytes(path, std::string(1000000, '{')); },
                   true});
  files.push_back(
      {"nested XML", [](const std::string& path) { write_bytes(path, nested_xml(100000)); }, true});
  files.push_back({"nested binary arrays",
                   [](const std::string& path) { write_bytes(path, nested_binary(200)); }, true});
  files.push_back({"a binary list holding itself",
                   [](const std::string& path) {
                     std::string list = std::string("bplist00\xA1\x00\x08", 11);
                     std::string trailer(32, '\0');
                     trailer[6] = 1;
                     trailer[7] = 1;
                     trailer[15] = 1;
                     trailer[31] = 10;
                     write_bytes(path, list + trailer);
                   },
                   true});
  files.push_back({"a FIFO",
                   [](const std::string& path) {
                     fs::remove_all(path);
                     ::mkfifo(path.c_str(), 0644);
                   },
                   true});
  files.push_back({"a symbolic link to a good file",
                   [](const std::string& path) {
                     fs::remove_all(path);
                     const std::string target = path + ".target";
                     std::ofstream(target)
                         << "<?xml version=\"1.0\"?><plist><dict><key>thermalPowerMode</key>"
                            "<string>fullPower</string></dict></plist>";
                     fs::create_symlink(target, path);
                   },
                   true});
  return files;
}

}  // namespace hv_test
