// Files a hostile local process or a damaged disk may leave at the preferences file's path:
// every fuzz seed and finding of the project, and crafted ones (a megabyte of nested
// braces, deeply nested XML and binary lists, a binary list holding itself, a FIFO, a
// symbolic link, a folder). The front-ends' tests read each as the front-ends do and write
// over it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace hv_test {

struct PlantedFile {
  std::string name;
  // Replaces whatever is at path with this file.
  std::function<void(const std::string& path)> plant;
  // Crafted to be unreadable: every reader must read it as a missing file.
  bool unreadable = false;
};

std::vector<PlantedFile> planted_files();

}  // namespace hv_test
