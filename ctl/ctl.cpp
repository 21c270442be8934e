#include "ctl/ctl.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ctl/commands.hpp"
#include "ctl/switches.hpp"

namespace halvernic::ctl {

namespace {

constexpr std::string_view kProgram = "halvernicctl";

constexpr std::string_view kResetHelp =
    "Removes every key Halvernic's settings write into the OS thermal status store\n"
    "(OSThermalStatus.plist: the thermal notification, mitigation, pocket and sunlight flags\n"
    "with their persistence keys, and simulateHip) and publishes the nominal thermal-pressure\n"
    "level. Needs root.\n"
    "\n"
    "A reset lasts only until the loaded extension's next application: while the package is\n"
    "installed and thermalmonitord runs with the extension, a change in Settings or Control\n"
    "Center, or the daemon's next start, applies the settings again (the package's removal\n"
    "first makes the extension stand down). The nominal pressure level holds only where\n"
    "thermalmonitord is restarted after the reset, as the removal does; a running daemon\n"
    "publishes its own level at its next change. A value something else stored under one of\n"
    "these keys before Halvernic was installed is not restored, only removed.\n";

constexpr std::string_view kStandDownHelp =
    "Tells the running extension to stand down: for the rest of its thermalmonitord process it\n"
    "applies no settings, answers as in the native mode, restarts nothing, and puts the daemon\n"
    "and the OS thermal status store back to the platform's own behaviour after its last\n"
    "application. The extension starts afresh with the daemon's next start. The package's\n"
    "removal runs it before `halvernicctl reset`, so that no re-application of the extension\n"
    "writes the store after the reset.\n"
    "\n"
    "Waits for the extension's answer; without one (no extension loaded, no daemon running)\n"
    "the status is 1.\n";

constexpr std::string_view kStatusHelp =
    "Shows, as the device has them now:\n"
    "  - the preferences file (its path; whether it is missing or unreadable, which every\n"
    "    reader takes as all keys absent), the mode and each switch as the file holds them\n"
    "    and as the extension reads them;\n"
    "  - the overheat protection: its setting, what it guards, whether it is engaged (since\n"
    "    when and at which battery temperature, from its state file, which only root reads)\n"
    "    and the last battery temperature the extension's report carries;\n"
    "  - the runtime-state word the front-ends publish;\n"
    "  - whether thermalmonitord runs, and whether this extension is loaded in it (the\n"
    "    extension's report names the running process);\n"
    "  - the extension's report: its version, the mode of its first application, every hook\n"
    "    and replacement it installed, and each it skipped and why (for other types, the\n"
    "    daemon's encoding and the expected one). \"no report\" when it wrote none (it may not\n"
    "    write there, or it is not loaded) or the file cannot be read;\n"
    "  - the keys of the OS thermal status store (OSThermalStatus.plist) the extension's\n"
    "    settings change, and any other key there.\n"
    "\n"
    "With --json the same facts as one JSON object (the README lists its keys). The status\n"
    "is 0 once the status is printed; a fact that cannot be read says why.\n";

constexpr OptionSpec kStatusOptions[] = {
    {"--json", "", "one JSON object instead of the table"},
};

constexpr std::string_view kModeHelp =
    "Writes the power mode into the preferences file and tells the extension, as the\n"
    "Settings pane and Control Center do: the file is read, the mode set, the keys of earlier\n"
    "versions dropped and the file written back atomically (as root, it stays the mobile\n"
    "user's, 501:501, mode 0644); then the runtime-state word is published and the re-apply\n"
    "and restart notifications are posted. thermalmonitord applies the mode and restarts\n"
    "(no earlier than launchd's throttle interval after its start).\n"
    "\n"
    "  off        the platform's own thermal control\n"
    "  lowPower   the CPU held at a low-power level\n"
    "  fullPower  the daemon's thermal mitigations off, full CPU and package power\n"
    "\n"
    "A write that fails is reported with its reason, status 1, and nothing is posted.\n";

constexpr std::string_view kSetHelp =
    "Turns a switch on or off in the preferences file and tells the extension, as the\n"
    "Settings pane does: written as mode writes (as root, the file stays the mobile user's),\n"
    "then the runtime-state word is published and the re-apply notification is posted;\n"
    "thermalmonitord applies it without a restart. A write that fails is reported with its\n"
    "reason, status 1, and nothing is posted.\n";

void printSwitches(std::ostream& out) {
  out << "\nSWITCH is a key or its short name:\n";
  std::size_t width = 0;
  for (const Switch& entry : kSwitches) width = std::max(width, shortName(entry.key).size());
  for (const Switch& entry : kSwitches) {
    const std::string name = shortName(entry.key);
    out << "  " << name << std::string(width + 2 - name.size(), ' ') << entry.key << "\n"
        << "  " << std::string(width + 2, ' ') << entry.summary << "\n";
  }
}

constexpr OptionSpec kStandDownOptions[] = {
    {"--wait", "SECONDS", "how long to wait for the extension's answer (default 3, at most 60)"},
};

constexpr Command kCommands[] = {
    {"status", "", 0, 0, kStatusOptions, false,
     "the settings, overheat protection, daemon, its report, OS store", kStatusHelp, &runStatus},
    {"mode",
     "off|lowPower|fullPower",
     1,
     1,
     {},
     false,
     "choose the power mode (as Settings and Control Center do)",
     kModeHelp,
     &runMode},
    {"set",
     "SWITCH on|off",
     2,
     2,
     {},
     false,
     "turn a switch on or off (as Settings does)",
     kSetHelp,
     &runSet,
     &printSwitches},
    {"reset",
     "",
     0,
     0,
     {},
     true,
     "put the platform's own thermal state back (root)",
     kResetHelp,
     &runReset},
    {"stand-down", "", 0, 0, kStandDownOptions, false,
     "stop the running extension until thermalmonitord restarts", kStandDownHelp, &runStandDown},
};

const Command* find(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::string synopsis(const Command& command) {
  std::string text = std::string(kProgram) + " " + std::string(command.name);
  for (const OptionSpec& option : command.options) {
    text += " [" + std::string(option.name);
    if (!option.valueName.empty()) text += " " + std::string(option.valueName);
    text += "]";
  }
  if (!command.operands.empty()) text += " " + std::string(command.operands);
  return text;
}

void printHelp(std::ostream& out) {
  out << "usage: " << kProgram << " COMMAND [ARGUMENTS]\n"
      << "       " << kProgram << " --help | COMMAND --help\n\n"
      << "Halvernic from a shell.\n\nCommands:\n";
  std::size_t width = 0;
  for (const Command& command : kCommands) {
    width = std::max(width, synopsis(command).size() - kProgram.size() - 1);
  }
  for (const Command& command : kCommands) {
    const std::string shown = synopsis(command).substr(kProgram.size() + 1);
    out << "  " << shown << std::string(width + 2 - shown.size(), ' ') << command.summary << "\n";
  }
  out << "\nA reset lasts only until the loaded extension's next application, and the nominal\n"
         "pressure level it publishes holds only where thermalmonitord is restarted after it\n"
         "(see "
      << kProgram
      << " reset --help).\n\n"
         "Exit status: 0 done; 1 the command could not be done (the reason is printed);\n"
         "2 the command line is wrong (nothing is done).\n";
}

void printCommandHelp(const Command& command, std::ostream& out) {
  out << "usage: " << synopsis(command) << "\n\n" << command.help;
  if (command.moreHelp) command.moreHelp(out);
  if (!command.options.empty()) {
    out << "\n";
    for (const OptionSpec& option : command.options) {
      out << "  " << option.name;
      if (!option.valueName.empty()) out << " " << option.valueName;
      out << "  " << option.help << "\n";
    }
  }
}

bool isHelp(std::string_view argument) { return argument == "--help" || argument == "-h"; }

Status usageError(Context& context, std::string_view where, std::string_view message) {
  context.err << kProgram;
  if (!where.empty()) context.err << " " << where;
  context.err << ": " << message << "\n";
  return Status::usage;
}

}  // namespace

std::span<const Command> commands() { return kCommands; }

std::optional<std::string_view> Invocation::option(std::string_view name) const {
  const auto found = options.find(name);
  if (found == options.end()) return std::nullopt;
  return std::string_view(found->second);
}

void Invocation::complain(std::string_view message) const {
  context.err << kProgram << " " << command.name << ": " << message << "\n";
}

namespace {

// "help", "--help" or "-h" as the first argument: the list of commands, or one command's usage.
Status runHelp(const std::vector<std::string>& arguments, Context& context) {
  const std::string& first = arguments[0];
  if (arguments.size() == 1) {
    printHelp(context.out);
    return Status::ok;
  }
  const Command* command = first == "help" && arguments.size() == 2 ? find(arguments[1]) : nullptr;
  if (!command) return usageError(context, "", "help takes one command name, or none");
  printCommandHelp(*command, context.out);
  return Status::ok;
}

// Sorts the arguments after the command's name into its options and operands. Answers a
// status to end with when there is nothing to run: the command's usage was asked for, or an
// option is unknown, given twice or missing its value.
std::optional<Status> readArguments(const std::vector<std::string>& arguments,
                                    Invocation& invocation) {
  const Command* command = &invocation.command;
  Context& context = invocation.context;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (isHelp(argument)) {
      printCommandHelp(*command, context.out);
      return Status::ok;
    }
    if (argument.size() > 1 && argument[0] == '-') {
      const OptionSpec* known = nullptr;
      for (const OptionSpec& option : command->options) {
        if (option.name == argument) known = &option;
      }
      if (!known) return usageError(context, command->name, "unknown option " + quoted(argument));
      if (invocation.options.count(argument)) {
        return usageError(context, command->name, std::string(known->name) + " is given twice");
      }
      if (known->valueName.empty()) {
        invocation.options.emplace(argument, std::string());
        continue;
      }
      if (i + 1 >= arguments.size()) {
        return usageError(context, command->name,
                          std::string(known->name) + " needs a value (" +
                              std::string(known->valueName) + ")");
      }
      invocation.options.emplace(argument, arguments[++i]);
      continue;
    }
    invocation.operands.push_back(argument);
  }
  return std::nullopt;
}

// The usage error for too few or too many operands, or none.
std::optional<Status> checkOperandCount(const Invocation& invocation) {
  const Command* command = &invocation.command;
  Context& context = invocation.context;
  if (invocation.operands.size() < command->minOperands) {
    return usageError(context, command->name,
                      "missing arguments (usage: " + synopsis(*command) + ")");
  }
  if (invocation.operands.size() > command->maxOperands) {
    return usageError(context, command->name,
                      "extra argument " + quoted(invocation.operands[command->maxOperands]) +
                          " (usage: " + synopsis(*command) + ")");
  }
  return std::nullopt;
}

}  // namespace

Status run(const std::vector<std::string>& arguments, Context& context) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (!isUTF8(arguments[i])) {
      return usageError(context, "",
                        "argument " + std::to_string(i + 1) +
                            " is not UTF-8: " + quoted(arguments[i]));
    }
  }
  if (arguments.empty()) {
    printHelp(context.err);
    return Status::usage;
  }
  const std::string& first = arguments[0];
  if (isHelp(first) || first == "help") return runHelp(arguments, context);
  const Command* command = find(first);
  if (!command) {
    const std::string what = first.rfind('-', 0) == 0 ? "unknown option " : "unknown command ";
    return usageError(context, "",
                      what + quoted(first) + " (" + std::string(kProgram) +
                          " --help lists the commands)");
  }

  Invocation invocation{*command, context, {}, {}};
  if (const std::optional<Status> done = readArguments(arguments, invocation)) return *done;
  if (const std::optional<Status> wrong = checkOperandCount(invocation)) return *wrong;
  if (command->needsRoot && !context.isRoot) {
    invocation.complain(
        "needs root (the OS thermal status store belongs to the system): run it as root");
    return Status::failed;
  }
  return command->run(invocation);
}

// ---- shared parsing ------------------------------------------------------------------------

std::size_t utf8SequenceLength(std::string_view text) noexcept {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

bool isUTF8(std::string_view text) noexcept {
  while (!text.empty()) {
    const std::size_t length = utf8SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string quoted(std::string_view text) {
  std::string result = "'";
  while (!text.empty()) {
    const std::size_t length = utf8SequenceLength(text);
    const auto lead = static_cast<unsigned char>(text[0]);
    if (length > 1 ||
        (length == 1 && lead >= 0x20 && lead < 0x7F && lead != '\'' && lead != '\\')) {
      result.append(text.substr(0, length));
      text.remove_prefix(length);
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", lead);
    result += escaped;
    text.remove_prefix(1);
  }
  return result + "'";
}

std::string printable(std::string_view text) {
  std::string result;
  while (!text.empty()) {
    const std::size_t length = utf8SequenceLength(text);
    const auto lead = static_cast<unsigned char>(text[0]);
    char escaped[8];
    if (length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) {
      // C1 controls (U+0080 to U+009F): a terminal takes some as escape sequences.
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(text[1]));
      result += escaped;
      text.remove_prefix(2);
      continue;
    }
    if (length > 1 || (length == 1 && lead >= 0x20 && lead != 0x7F)) {
      result.append(text.substr(0, length));
      text.remove_prefix(length);
      continue;
    }
    std::snprintf(escaped, sizeof escaped, "\\x%02X", lead);
    result += escaped;
    text.remove_prefix(1);
  }
  return result;
}

std::optional<double> parseNumber(const Invocation& invocation, std::string_view what,
                                  std::string_view text, double min, double max) {
  bool digits = false, point = false, ok = !text.empty();
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      ok = false;
    }
  }
  double value = 0;
  if (ok && digits) {
    // Only digits and one point are left: the C locale's strtod reads them whole.
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    ok = end == copy.c_str() + copy.size();
  } else {
    ok = false;
  }
  if (!ok || value < min || value > max) {
    char range[96];
    std::snprintf(range, sizeof range, "a number from %g to %g", min, max);
    invocation.complain(std::string(what) + " is " + range + ", not " + quoted(text));
    return std::nullopt;
  }
  return value;
}

std::optional<std::size_t> parseChoice(const Invocation& invocation, std::string_view what,
                                       std::string_view text,
                                       std::span<const std::string_view> choices) {
  std::string listed;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (choices[i] == text) return i;
    listed += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + std::string(choices[i]);
  }
  invocation.complain(std::string(what) + " is " + listed + ", not " + quoted(text));
  return std::nullopt;
}

}  // namespace halvernic::ctl
