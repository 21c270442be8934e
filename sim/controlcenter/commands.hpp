// The command line shared by the simulated hosts:
//
//   hv-controlcenter [--root DIR] [--appearance light|dark] [--scale 2|3] [COMMAND ARGS...]...
//
// Commands run in order in one process; with none, they are read one per line from standard
// input. Each prints its facts on standard output, one line each; an error goes to standard
// error and ends the run with status 1, bad usage (a missing argument, a number that is not
// one or out of its bounds, text that is not UTF-8) with status 2 (from standard input: the
// run goes on and the status is non-zero at the end). help needs no device root.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace hv_controlcenter_sim {

struct Options {
  std::string root;  // --root, else $HALVERNIC_DEVICE_ROOT
  std::string appearance = "dark";
  double scale = 3;
  std::vector<std::string> words;  // the commands and their arguments, in order
};

// Parses the options in front of the commands. false (and a message) on a bad option, or
// without a device root unless the commands are help alone.
bool parse_options(int argc, char** argv, Options* options, std::string* error);

// A command: its name, how many arguments it takes, a one-line description, what it does
// (false and a message on error), and, when its arguments have a form, the check of that
// form made before it runs (false and a message: bad usage).
struct Command {
  std::string name;
  int arguments;
  std::string usage;
  std::function<bool(const std::vector<std::string>& args, std::string* error)> run;
  std::function<bool(const std::vector<std::string>& args, std::string* error)> check = {};
};

// Whether words are help commands alone (which need no device).
bool only_help(const std::vector<std::string>& words);

// Runs the commands of words in order; 0 when all succeeded, else 1 (2 for bad usage) after
// the first error.
int run_words(const std::vector<Command>& commands, const std::vector<std::string>& words,
              std::ostream& err);
// Runs one command per line of in (words split at blanks; the rest of the line is the last
// argument, so titles with spaces pass whole); 0 when all succeeded, else 1 (2 when one was
// bad usage).
int run_lines(const std::vector<Command>& commands, std::istream& in, std::ostream& err);

}  // namespace hv_controlcenter_sim
