#include "sim/controlcenter/commands.hpp"

#include "sim/cli/arguments.hpp"

#include <algorithm>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

namespace hv_controlcenter_sim {

bool parse_options(int argc, char** argv, Options* options, std::string* error) {
  if (const char* root = std::getenv("HALVERNIC_DEVICE_ROOT")) options->root = root;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("--", 0) != 0) break;
    if (i + 1 >= argc) {
      *error = "option " + word + " needs a value";
      return false;
    }
    const std::string value = argv[++i];
    if (word == "--root") {
      options->root = value;
    } else if (word == "--appearance") {
      if (value != "light" && value != "dark") {
        *error = "--appearance takes light or dark, not " + value;
        return false;
      }
      options->appearance = value;
    } else if (word == "--scale") {
      if (value != "2" && value != "3") {
        *error = "--scale takes 2 or 3, not " + value;
        return false;
      }
      options->scale = value == "2" ? 2 : 3;
    } else {
      *error = "unknown option " + word;
      return false;
    }
  }
  for (; i < argc; ++i) options->words.emplace_back(argv[i]);
  if (options->root.empty() && !only_help(options->words)) {
    *error = "no device root: pass --root DIR or set HALVERNIC_DEVICE_ROOT";
    return false;
  }
  return true;
}

bool only_help(const std::vector<std::string>& words) {
  return !words.empty() && std::all_of(words.begin(), words.end(),
                                       [](const std::string& word) { return word == "help"; });
}

namespace {

const Command* find(const std::vector<Command>& commands, const std::string& name) {
  for (const Command& command : commands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace

int run_words(const std::vector<Command>& commands, const std::vector<std::string>& words,
              std::ostream& err) {
  std::size_t i = 0;
  while (i < words.size()) {
    const Command* command = find(commands, words[i]);
    if (!command) {
      err << "hv-controlcenter: unknown command '" << words[i] << "' (try help)\n";
      return 1;
    }
    if (words.size() - i - 1 < static_cast<std::size_t>(command->arguments)) {
      err << "hv-controlcenter: " << command->name << " needs " << command->arguments
          << " argument(s): " << command->usage << "\n";
      return halvernic::sim::cli::kUsageStatus;
    }
    std::vector<std::string> args(words.begin() + static_cast<long>(i) + 1,
                                  words.begin() + static_cast<long>(i) + 1 + command->arguments);
    std::string error;
    if (command->check && !command->check(args, &error)) {
      err << "hv-controlcenter: " << command->name << ": " << error << "\n";
      return halvernic::sim::cli::kUsageStatus;
    }
    if (!command->run(args, &error)) {
      err << "hv-controlcenter: " << command->name << ": " << error << "\n";
      return 1;
    }
    i += 1 + static_cast<std::size_t>(command->arguments);
  }
  return 0;
}

int run_lines(const std::vector<Command>& commands, std::istream& in, std::ostream& err) {
  int status = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (!halvernic::sim::cli::is_utf8(line)) {
      err << "hv-controlcenter: a line that is not UTF-8 text: \""
          << halvernic::sim::cli::printable(line) << "\"\n";
      status = halvernic::sim::cli::kUsageStatus;
      continue;
    }
    std::istringstream stream(line);
    std::string name;
    if (!(stream >> name)) continue;
    const Command* command = find(commands, name);
    if (!command) {
      err << "hv-controlcenter: unknown command '" << name << "' (try help)\n";
      status = std::max(status, 1);
      continue;
    }
    std::vector<std::string> args;
    for (int n = 0; n < command->arguments; ++n) {
      std::string word;
      if (n == command->arguments - 1) {
        std::getline(stream >> std::ws, word);
        while (!word.empty() && (word.back() == ' ' || word.back() == '\r')) word.pop_back();
      } else {
        stream >> word;
      }
      if (word.empty()) break;
      args.push_back(word);
    }
    if (args.size() != static_cast<std::size_t>(command->arguments)) {
      err << "hv-controlcenter: " << command->name << " needs " << command->arguments
          << " argument(s): " << command->usage << "\n";
      status = halvernic::sim::cli::kUsageStatus;
      continue;
    }
    std::string error;
    if (command->check && !command->check(args, &error)) {
      err << "hv-controlcenter: " << command->name << ": " << error << "\n";
      status = halvernic::sim::cli::kUsageStatus;
    } else if (!command->run(args, &error)) {
      err << "hv-controlcenter: " << command->name << ": " << error << "\n";
      status = std::max(status, 1);
    }
  }
  return status;
}

}  // namespace hv_controlcenter_sim
