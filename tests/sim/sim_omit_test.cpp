// A host without ThermalManager and without -[MitigationController setDVD1Level:], as
// some devices are: the rest registers and the daemon still starts.
#include <gtest/gtest.h>

#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "extension/hooking/host.hpp"
#include "sim/sim.hpp"

namespace {

namespace host = halvernic::host;
namespace sim = halvernic::sim;

TEST(SimOmit, ParsesClassesAndMethods) {
  const sim::Options options =
      sim::Options::parse(" ThermalManager,MitigationController/setDVD1Level:\n");
  EXPECT_EQ(options.omitted_classes, (std::set<std::string>{"ThermalManager"}));
  EXPECT_EQ(options.omitted_methods, (std::set<std::string>{"MitigationController/setDVD1Level:"}));
  EXPECT_EQ(sim::Options::parse(""), sim::Options{});

  const sim::Options retyped =
      sim::Options::parse("MitigationController/CPULevel=q16@0:8, ThermalManager");
  EXPECT_EQ(retyped.retyped_methods,
            (std::map<std::string, std::string>{{"MitigationController/CPULevel", "q16@0:8"}}));
  EXPECT_EQ(retyped.omitted_classes, (std::set<std::string>{"ThermalManager"}));
  EXPECT_TRUE(retyped.omitted_methods.empty()) << "a retyped method is still registered";
}

TEST(SimOmit, LeftOutClassAndMethodAreAbsentAndTheDaemonStillRuns) {
  const sim::Options options =
      sim::Options::parse("ThermalManager MitigationController/setDVD1Level:");
  ASSERT_TRUE(sim::register_classes(options));
  EXPECT_TRUE(sim::register_classes(options)) << "the same options again";
  EXPECT_FALSE(sim::register_classes()) << "the first registration decided";

  EXPECT_EQ(objc::cls("ThermalManager"), nullptr);
  Class controller = host::kMitigationController.get();
  ASSERT_NE(controller, nullptr);
  EXPECT_EQ(objc::instanceImplementation(controller, host::kSetDVD1Level), nullptr);
  EXPECT_NE(objc::instanceImplementation(controller, host::kSetCPULevel), nullptr);
  EXPECT_NE(objc::instanceImplementation(controller, host::kSetPackagePowerZoneTarget), nullptr);

  objc::AutoreleasePool pool;
  sim::Daemon daemon;
  daemon.start(sim::default_configuration_folder());
  EXPECT_EQ(daemon.thermal_manager(), nullptr);
  ASSERT_NE(daemon.product(), nullptr);
  ASSERT_NE(daemon.controller(), nullptr);
  EXPECT_TRUE(daemon.components().empty()) << "no configuration without ThermalManager";
  daemon.set_cpu_demand(45000);
  for (int i = 0; i < 10; ++i) daemon.tick();
  EXPECT_GT(sim::product_state(daemon.product()).pressure_level, 0);
  EXPECT_LT(sim::controller_state(daemon.controller()).cpu_power_ceiling, 45000);
}

}  // namespace
