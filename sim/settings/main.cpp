// hv-settings: the Settings app of the simulated device, showing a tweak's pane.
//
//   hv-settings [--root DIR] [--appearance light|dark] [--scale 2|3] [COMMAND ARGS...]...
//
// The pane is found as PreferenceLoader finds it below DIR/var/jb (DIR defaults to
// $HALVERNIC_DEVICE_ROOT), its controller made with initForContentSize: at 390 x 844 points
// and shown in a window of that size. Commands run in order in this one process; without
// any, they are read one per line from standard input. Each prints its facts on standard
// output, one per line. An unknown command, an unknown row or a missing pane prints a
// reason on standard error and ends the program with status 1, after the commands before
// it have run; bad usage (an option, a missing argument, a number that is not one or out of
// its bounds, an argument that is not UTF-8) ends it with status 2 the same way. help
// needs no device root.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/objc/thread.hpp"
#include "hvplatform/environment.h"
#include "sim/cli/arguments.hpp"
#include "sim/settings/app.hpp"

namespace {

constexpr char kUsage[] =
    "usage: hv-settings [--root DIR] [--appearance light|dark] [--scale 2|3] [COMMAND "
    "ARGS...]...\n";

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
  namespace cli = halvernic::sim::cli;
  // Before Foundation sees any of them: GNUstep reads the arguments as text.
  if (const int bad = cli::first_non_utf8(argc - 1, argv + 1); bad >= 0) {
    std::fprintf(stderr, "hv-settings: argument %d is not UTF-8 text: \"%s\"\n", bad + 1,
                 cli::printable(argv[bad + 1]).c_str());
    return cli::kUsageStatus;
  }
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;
  using halvernic::sim::settings::App;

  App::Options options;
  if (const char* root = std::getenv(HV_ENV_DEVICE_ROOT)) options.root = root;
  auto usage = [](const std::string& why) {
    std::fprintf(stderr, "hv-settings: %s\n%s", why.c_str(), kUsage);
    return cli::kUsageStatus;
  };
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg != "--root" && arg != "--appearance" && arg != "--scale") {
      if (arg.rfind("--", 0) == 0) return usage("unknown option " + arg);
      break;
    }
    if (i + 1 >= argc) return usage(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--root") {
      options.root = value;
    } else if (arg == "--appearance") {
      if (value != "light" && value != "dark") {
        return usage("--appearance takes light or dark, not " + value);
      }
      options.dark = value == "dark";
    } else {
      const std::optional<double> scale = cli::parse_real(value, 2, 3);
      if (!scale || (*scale != 2 && *scale != 3)) {
        return usage("--scale takes 2 or 3, not " + value);
      }
      options.scale = *scale;
    }
  }
  std::vector<std::string> words(argv + i, argv + argc);
  // help lists the commands without a device.
  const bool only_help =
      !words.empty() && std::all_of(words.begin(), words.end(),
                                    [](const std::string& word) { return word == "help"; });
  if (options.root.empty() && !only_help) {
    std::fprintf(stderr, "hv-settings: no device root (give --root DIR or set %s)\n",
                 HV_ENV_DEVICE_ROOT);
    return cli::kUsageStatus;
  }

  // The stand-ins (libroot, the Preferences domains) find the device root here, as every
  // program of the simulated device does.
  if (!options.root.empty()) setenv(HV_ENV_DEVICE_ROOT, options.root.c_str(), 1);
  App app(options);
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
        return cli::kUsageStatus;
      }
      std::vector<std::string> args(words.begin() + static_cast<long>(at) + 1,
                                    words.begin() + static_cast<long>(at) + 1 + arity);
      if (std::string error; !App::check(name, args, &error)) {
        std::fprintf(stderr, "hv-settings: %s\n", error.c_str());
        return cli::kUsageStatus;
      }
      objc::AutoreleasePool command_pool;
      if (!app.run(name, args)) return 1;
      at += 1 + static_cast<std::size_t>(arity);
    }
    return 0;
  }
  // Interactive: a failed command is reported and the next line is read; the exit status
  // says whether any failed (2 when one was bad usage).
  int status = 0;
  std::string line;
  while (std::getline(std::cin, line)) {
    objc::AutoreleasePool line_pool;
    if (!cli::is_utf8(line)) {
      std::fprintf(stderr, "hv-settings: a line that is not UTF-8 text: \"%s\"\n",
                   cli::printable(line).c_str());
      status = cli::kUsageStatus;
      continue;
    }
    std::vector<std::string> command = split_words(line);
    if (command.empty()) continue;
    const std::string name = command.front();
    command.erase(command.begin());
    if (name == "quit" || name == "exit") break;
    const int arity = App::arity(name);
    std::string error;
    if (arity < 0) {
      std::fprintf(stderr, "hv-settings: unknown command \"%s\" (try help)\n", name.c_str());
      status = std::max(status, 1);
    } else if (static_cast<int>(command.size()) != arity) {
      std::fprintf(stderr, "hv-settings: %s needs %d argument(s)\n", name.c_str(), arity);
      status = cli::kUsageStatus;
    } else if (!App::check(name, command, &error)) {
      std::fprintf(stderr, "hv-settings: %s\n", error.c_str());
      status = cli::kUsageStatus;
    } else if (!app.run(name, command)) {
      status = std::max(status, 1);
    }
    std::fflush(stdout);
  }
  return status;
}
