// The hook set and the replacement table in a thermalmonitord whose methods changed types,
// as a future system might: every method whose types differ is left to the daemon and
// reported, everything else is installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "extension/hooking/host.hpp"
#include "extension/replacements/replacements.hpp"
#include "extension/startup/hook_set.hpp"
#include "sim/sim.hpp"

namespace {

namespace hook = halvernic::hook;
namespace host = halvernic::host;
namespace sim = halvernic::sim;

struct RecordingTweak : hook::Tweak {
  std::vector<std::string> errors;
  void handleError(const hook::HookError& error) override { errors.push_back(error.description()); }
};

TEST(HookSetRetyped, MethodsWithOtherTypesStayTheDaemonsAndAreReported) {
  sim::Options options;
  // A 64-bit level, and getConfigurationFor: as the extension once declared it (an integer
  // key and an object result); the hidden sensor reference as a plain pointer still matches.
  options.retyped_methods = {
      {"MitigationController/CPULevel", "q16@0:8"},
      {"ThermalManager/getConfigurationFor:", "@24@0:8q16"},
      {"HidSensors/handleTemperatureEvent:service:", "v28@0:8i16^v20"},
  };
  ASSERT_TRUE(sim::register_classes(options));

  RecordingTweak tweak;
  EXPECT_EQ(hook::install(tweak, halvernic::startup::hookSet()), 26u);
  ASSERT_EQ(tweak.errors.size(), 1u);
  EXPECT_EQ(tweak.errors[0].rfind("MitigationControllerHook: other types for "
                                  "-[MitigationController CPULevel]: host q16@0:8, expected ",
                                  0),
            0u)
      << tweak.errors[0];
  EXPECT_EQ(halvernic::replacements::installMethodReplacements(
                halvernic::replacements::hostClassesByName()),
            23u);

  const std::vector<std::string> taken = sim::replaced_methods();
  auto taken_over = [&](const std::string& method) {
    return std::find(taken.begin(), taken.end(), method) != taken.end();
  };
  EXPECT_FALSE(taken_over("-[MitigationController CPULevel]"));
  EXPECT_FALSE(taken_over("-[ThermalManager getConfigurationFor:]"));
  EXPECT_TRUE(taken_over("-[HidSensors handleTemperatureEvent:service:]"));
  EXPECT_TRUE(taken_over("-[MitigationController setCPULevel:]"));
  EXPECT_EQ(taken.size(), 48u);
}

}  // namespace
