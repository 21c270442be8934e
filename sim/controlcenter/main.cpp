// hv-controlcenter: the simulated Control Center (see commands.hpp for the command line).
#include <iostream>

#include "common/objc/ref.hpp"
#include "common/objc/thread.hpp"
#include "sim/cli/arguments.hpp"
#include "sim/controlcenter/commands.hpp"
#include "sim/controlcenter/host.hpp"

int main(int argc, char** argv) {
  namespace cli = halvernic::sim::cli;
  // Before Foundation sees any of them: GNUstep reads the arguments as text.
  if (const int bad = cli::first_non_utf8(argc - 1, argv + 1); bad >= 0) {
    std::cerr << "hv-controlcenter: argument " << bad + 1 << " is not UTF-8 text: \""
              << cli::printable(argv[bad + 1]) << "\"\n";
    return cli::kUsageStatus;
  }
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;
  hv_controlcenter_sim::Options options;
  std::string error;
  if (!hv_controlcenter_sim::parse_options(argc, argv, &options, &error)) {
    std::cerr << "hv-controlcenter: " << error << "\n"
              << "usage: hv-controlcenter [--root DIR] [--appearance light|dark] [--scale 2|3] "
                 "[COMMAND ARGS...]...\n";
    return cli::kUsageStatus;
  }
  hv_controlcenter_sim::Host host(options, std::cout);
  if (hv_controlcenter_sim::only_help(options.words)) {
    // The commands are listed without a device.
    return hv_controlcenter_sim::run_words(host.commands(), options.words, std::cerr);
  }
  // The stand-ins find the device below this root (libroot's /var/jb among them).
  setenv("HALVERNIC_DEVICE_ROOT", options.root.c_str(), 1);
  if (!host.start(&error)) {
    std::cerr << "hv-controlcenter: " << error << "\n";
    return 1;
  }
  const auto commands = host.commands();
  const int status = options.words.empty()
                         ? hv_controlcenter_sim::run_lines(commands, std::cin, std::cerr)
                         : hv_controlcenter_sim::run_words(commands, options.words, std::cerr);
  std::cout.flush();
  return status;
}
