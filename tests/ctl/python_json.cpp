#include "tests/ctl/python_json.hpp"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "sim/device/device.hpp"

extern "C" char** environ;

namespace hv_test {

std::map<std::string, std::string> parsedByPython(const std::string& text,
                                                  const std::string& scratch) {
  static std::atomic<int> serial{0};
  const std::string file =
      scratch + "/json-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".json";
  {
    std::ofstream(file, std::ios::binary) << text;
  }
  static const char kScript[] =
      "import json, sys\n"
      "def key(text): return json.dumps(text, ensure_ascii=False)[1:-1]\n"
      "def walk(path, value):\n"
      "    if isinstance(value, dict):\n"
      "        if not value: print('.'.join(path) + '\\t{}')\n"
      "        for name, item in value.items(): walk(path + [key(name)], item)\n"
      "    elif isinstance(value, list):\n"
      "        if not value: print('.'.join(path) + '\\t[]')\n"
      "        for index, item in enumerate(value): walk(path + [str(index)], item)\n"
      "    else:\n"
      "        print('.'.join(path) + '\\t' + json.dumps(value, ensure_ascii=False))\n"
      "walk([], json.load(open(sys.argv[1], encoding='utf-8')))\n";
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.emplace_back("PYTHONIOENCODING=utf-8");
  const halvernic::sim::device::HostResult result = halvernic::sim::device::run_bounded(
      {"/usr/bin/env", "python3", "-c", kScript, file}, env, std::chrono::seconds(30));
  std::filesystem::remove(file);
  if (result.status != 0) return {{"!", result.err}};
  std::map<std::string, std::string> leaves;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.find('\t');
    leaves[line.substr(0, tab)] = tab == std::string::npos ? "" : line.substr(tab + 1);
  }
  return leaves;
}

}  // namespace hv_test
