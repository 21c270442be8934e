// halvernicctl: Halvernic from a shell.
//
//   halvernicctl COMMAND [ARGUMENTS]
//   halvernicctl --help | COMMAND --help
//
// The tool is C++ on the contract and the extension's OS thermal status functions
// (extension/osthermal, compiled in). It never loads the tweak library: that would run the
// library's start-up (its hooks, its observers) in the tool's process.
//
// Exit status, the same for every command:
//   0  done
//   1  the command could not be done: it needs root and the tool runs without; the OS
//      thermal status store or notify failed (the reason is printed); nothing answered
//   2  the command line is wrong: an unknown command, an option or value it does not take,
//      a missing or an extra argument, bytes that are not UTF-8. Nothing is done.
// Messages go to standard error, results to standard output; an argument is quoted back
// with anything unprintable escaped, never as raw bytes.
//
// Adding a command: write its function (Status run(Invocation&)), describe it in one
// Command row of kCommands (ctl.cpp): its name, its operands and options, whether it needs
// root, its summary and help text. The table drives the parsing, the checks and --help, so
// a command's function starts with its arguments already checked: the options it takes
// (each with its value, or none for a flag), and between minOperands and maxOperands
// operands, all UTF-8. Values are checked with the parsers below, which print the message
// and answer nothing for a bad one (the command then returns Status::usage).
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvernic::ctl {

enum class Status : int { ok = 0, failed = 1, usage = 2 };

// What the tool runs with, passed in by its entry point (the tool reads no environment).
struct Context {
  bool isRoot = false;  // the effective user is root
  std::ostream& out;
  std::ostream& err;
};

struct OptionSpec {
  std::string_view name;       // "--wait"
  std::string_view valueName;  // "SECONDS" for an option that takes one value; "" for a flag
  std::string_view help;
};

struct Invocation;

struct Command {
  std::string_view name;
  std::string_view operands;  // as the synopsis shows them, e.g. "KEY VALUE" ("" for none)
  std::size_t minOperands = 0;
  std::size_t maxOperands = 0;
  std::span<const OptionSpec> options;
  bool needsRoot = false;
  std::string_view summary;  // one line for the command list
  std::string_view help;     // paragraphs for COMMAND --help
  Status (*run)(Invocation&) = nullptr;
  // Help made at run time from tables (printed after help), or null.
  void (*moreHelp)(std::ostream&) = nullptr;
};

struct Invocation {
  const Command& command;
  Context& context;
  std::vector<std::string> operands;
  std::map<std::string, std::string, std::less<>> options;  // by name ("--wait")

  // The option's value, if given ("" for a flag).
  std::optional<std::string_view> option(std::string_view name) const;
  // Prints "halvernicctl COMMAND: message" to standard error.
  void complain(std::string_view message) const;
};

// The commands, in the order --help lists them.
std::span<const Command> commands();

// Runs one command line (the arguments after the program's name).
Status run(const std::vector<std::string>& arguments, Context& context);

// ---- shared parsing ------------------------------------------------------------------------

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
bool isUTF8(std::string_view text) noexcept;
// The length of the well-formed UTF-8 sequence at the start of text (1 to 4), or 0 when it
// starts with a byte of a malformed one (or text is empty).
std::size_t utf8SequenceLength(std::string_view text) noexcept;
// text for a message: printable ASCII and well-formed UTF-8 as they are; control
// characters and bytes of malformed sequences as \xNN; quoted.
std::string quoted(std::string_view text);
// text for a terminal, unquoted: well-formed UTF-8 as it is, but control characters (C0,
// DEL, C1) and bytes of malformed sequences escaped (\xNN, \u00NN).
std::string printable(std::string_view text);

// A decimal number (digits, an optional fraction; no sign, exponent, "nan" or "inf") within
// [min, max]; otherwise a message naming what and the range, and nothing.
std::optional<double> parseNumber(const Invocation& invocation, std::string_view what,
                                  std::string_view text, double min, double max);
// One of choices, exactly; otherwise a message listing them, and nothing. Answers the index.
std::optional<std::size_t> parseChoice(const Invocation& invocation, std::string_view what,
                                       std::string_view text,
                                       std::span<const std::string_view> choices);

}  // namespace halvernic::ctl
