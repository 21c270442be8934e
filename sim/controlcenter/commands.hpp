// The command line shared by the simulated hosts:
//
//   hv-controlcenter [--root DIR] [--appearance light|dark] [--scale 2|3] [COMMAND ARGS...]...
//
// Commands run in order in one process; with none, they are read one per line from standard
// input. Each prints its facts on standard output, one line each; an error goes to standard
// error and ends the run with a non-zero status (from standard input: the run goes on and
// the status is non-zero at the end).
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace hv_controlcenter_sim {

struct Options {
  std::string root;              // --root, else $HALVERNIC_DEVICE_ROOT
  std::string appearance = "dark";
  double scale = 3;
  std::vector<std::string> words;  // the commands and their arguments, in order
};

// Parses the options in front of the commands. false (and a message) on a bad option.
bool parse_options(int argc, char** argv, Options* options, std::string* error);

// A command: its name, how many arguments it takes, a one-line description, and what it does
// (false and a message on error).
struct Command {
  std::string name;
  int arguments;
  std::string usage;
  std::function<bool(const std::vector<std::string>& args, std::string* error)> run;
};

// Runs the commands of words in order; 0 when all succeeded, else 1 after the first error.
int run_words(const std::vector<Command>& commands, const std::vector<std::string>& words, std::ostream& err);
// Runs one command per line of in (words split at blanks; the rest of the line is the last
// argument, so titles with spaces pass whole); 0 when all succeeded, else 1.
int run_lines(const std::vector<Command>& commands, std::istream& in, std::ostream& err);

}  // namespace hv_controlcenter_sim
