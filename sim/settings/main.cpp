// hv-settings: the Settings app of the simulated device, showing a tweak's pane.
//
//   hv-settings [--root DIR] [--appearance light|dark] [--scale 2|3] [COMMAND ARGS...]...
//
// The pane is found as PreferenceLoader finds it below DIR/var/jb (DIR defaults to
// $HALVERNIC_DEVICE_ROOT), its controller made with initForContentSize: at 390 x 844 points
// and shown in a window of that size. Commands run in order in this one process; without
// any, they are read one per line from standard input. Each prints its facts on standard
// output, one per line. An unknown command, an unknown row or a missing pane prints a
// reason on standard error and ends the program with status 1 (status 2 for bad usage),
// after the commands before it have run.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "common/objc/thread.hpp"
#include "hvplatform/environment.h"
#include "sim/settings/app.hpp"

namespace {

constexpr char kUsage[] =
    "usage: hv-settings [--root DIR] [--appearance light|dark] [--scale 2|3] [COMMAND ARGS...]...\n";

// Splits an interactive line into words; "double quotes" keep spaces ("tap \"CPU 模式\"").
std::vector<std::string> split_words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

}  // namespace

int main(int argc, char** argv) {
  objc::attach_current_thread();
  objc::AutoreleasePool pool;
  using halvernic::sim::settings::App;

  App::Options options;
  if (const char* root = std::getenv(HV_ENV_DEVICE_ROOT)) options.root = root;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--root" && i + 1 < argc) {
      options.root = argv[++i];
    } else if (arg == "--appearance" && i + 1 < argc) {
      options.dark = std::string(argv[++i]) == "dark";
      if (!options.dark && std::string(argv[i]) != "light") {
        std::fputs(kUsage, stderr);
        return 2;
      }
    } else if (arg == "--scale" && i + 1 < argc) {
      options.scale = std::atof(argv[++i]);
      if (options.scale != 2 && options.scale != 3) {
        std::fputs(kUsage, stderr);
        return 2;
      }
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      break;
    }
  }
  if (options.root.empty()) {
    std::fprintf(stderr, "hv-settings: no device root (give --root DIR or set %s)\n", HV_ENV_DEVICE_ROOT);
    return 2;
  }

  // The stand-ins (libroot, the Preferences domains) find the device root here, as every
  // program of the simulated device does.
  setenv(HV_ENV_DEVICE_ROOT, options.root.c_str(), 1);
  App app(options);
  std::vector<std::string> words(argv + i, argv + argc);
  if (!words.empty()) {
    // Command-line commands: each name takes the number of arguments App::arity says.
    std::size_t at = 0;
    while (at < words.size()) {
      const std::string& name = words[at];
      const int arity = App::arity(name);
      if (arity < 0) {
        std::fprintf(stderr, "hv-settings: unknown command \"%s\" (try help)\n", name.c_str());
        return 1;
      }
      if (at + 1 + static_cast<std::size_t>(arity) > words.size()) {
        std::fprintf(stderr, "hv-settings: %s needs %d argument(s)\n", name.c_str(), arity);
        return 2;
      }
      std::vector<std::string> args(words.begin() + static_cast<long>(at) + 1,
                                    words.begin() + static_cast<long>(at) + 1 + arity);
      objc::AutoreleasePool command_pool;
      if (!app.run(name, args)) return 1;
      at += 1 + static_cast<std::size_t>(arity);
    }
    return 0;
  }
  // Interactive: a failed command is reported and the next line is read; the exit status
  // says whether any failed.
  bool failed = false;
  std::string line;
  while (std::getline(std::cin, line)) {
    objc::AutoreleasePool line_pool;
    std::vector<std::string> command = split_words(line);
    if (command.empty()) continue;
    const std::string name = command.front();
    command.erase(command.begin());
    if (name == "quit" || name == "exit") break;
    const int arity = App::arity(name);
    if (arity < 0) {
      std::fprintf(stderr, "hv-settings: unknown command \"%s\" (try help)\n", name.c_str());
      failed = true;
    } else if (static_cast<int>(command.size()) != arity) {
      std::fprintf(stderr, "hv-settings: %s needs %d argument(s)\n", name.c_str(), arity);
      failed = true;
    } else if (!app.run(name, command)) {
      failed = true;
    }
    std::fflush(stdout);
  }
  return failed ? 1 : 0;
}
