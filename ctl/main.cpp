// halvernicctl's entry point on the device (ctl.hpp).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "common/objc/ref.hpp"
#include "ctl/ctl.hpp"

int main(int argc, char** argv) {
  objc::AutoreleasePool pool;
  const std::vector<std::string> arguments(argc > 1 ? argv + 1 : argv,
                                           argc > 1 ? argv + argc : argv);
  halvernic::ctl::Context context{geteuid() == 0, std::cout, std::cerr};
  return static_cast<int>(halvernic::ctl::run(arguments, context));
}
