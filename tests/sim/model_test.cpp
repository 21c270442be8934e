// The simulated device's thermal model: the die's heat balance and the daemon's control,
// whose levels step down only a margin below the threshold that raised them.
#include <gtest/gtest.h>

#include <vector>

#include "sim/model.hpp"

namespace {

namespace model = halvernic::sim::model;

TEST(ThermalModel, PressureRisesAtAThresholdAndStepsDownOnlyAMarginBelowIt) {
  const std::vector<double> thresholds{38, 41, 44, 47};
  struct Case {
    std::int64_t current;
    double temperature;
    std::int64_t level;
    const char* why;
  } cases[] = {
      {0, 30.0, 0, "cool"},
      {0, 37.99, 0, "just below the first threshold"},
      {0, 38.0, 1, "at a threshold the level begins"},
      {0, 45.0, 3, "up several levels at once"},
      {3, 47.0, 4, "up from a raised level"},
      {4, 46.9, 4, "just below the threshold that raised it: held"},
      {4, 43.0, 4, "the native settling point, inside the margin: held"},
      {4, 42.0, 4, "exactly the margin below: held"},
      {4, 41.99, 3, "more than the margin below: one level down"},
      {4, 37.0, 2, "below two margins: two levels down"},
      {4, 20.0, 0, "cold: all the way down"},
      {2, 40.0, 2, "level 2 holds from 36 up to 44"},
      {2, 35.9, 1, "then drops to 1"},
      {9, 50.0, 4, "a level past the table is the table's last"},
      {-1, 39.0, 1, "a negative level is none"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(model::pressure_level(c.current, c.temperature, thresholds, 5.0), c.level) << c.why;
  }
  EXPECT_EQ(model::pressure_level(4, 46.9, thresholds, 0.0), 3) << "no margin: down at once";
  EXPECT_EQ(model::pressure_level(1, 50.0, {}, 5.0), 0) << "no thresholds, no pressure";
}

TEST(ThermalModel, DieHeatsWithPowerAndSettlesWhereHeatingMeetsCooling) {
  const model::Parameters parameters;
  model::Nodes nodes = model::initial(parameters);
  EXPECT_DOUBLE_EQ(nodes.die, 30.0);
  const double steady = model::steady_die_temperature(parameters, 11250);
  EXPECT_DOUBLE_EQ(steady, 43.0) << "level 4's limit settles the die inside level 4's band";
  EXPECT_GT(steady, model::kPressureThresholds[3] - model::kPressureHysteresis);
  EXPECT_LT(steady, model::kPressureThresholds[3]);
  for (int i = 0; i < 600; ++i) nodes = model::step(parameters, nodes, 11250);
  EXPECT_NEAR(nodes.die, steady, 1e-6);
  for (int i = 0; i < 600; ++i) nodes = model::step(parameters, nodes, 0);
  EXPECT_NEAR(nodes.die, parameters.ambient, 1e-6) << "without load, back to ambient";
  EXPECT_EQ(model::brightness_limit(0), 100);
  EXPECT_EQ(model::brightness_limit(4), 40);
  EXPECT_EQ(model::brightness_limit(9), 25);
}

// The battery lags the die by minutes: it warms while the die is hotter, settles between
// the die and the ambient, and cools back without load.
TEST(ThermalModel, TheBatteryLagsTheDieAndSettlesBetweenItAndTheAmbient) {
  const model::Parameters parameters;
  model::Nodes nodes = model::initial(parameters);
  EXPECT_DOUBLE_EQ(nodes.battery, 30.0);
  const double die = model::steady_die_temperature(parameters, 40000);  // fullPower's draw
  EXPECT_DOUBLE_EQ(die, 89.0);
  const double battery = model::steady_battery_temperature(parameters, die);
  EXPECT_GT(battery, 55.0) << "hot enough to need the protection";
  EXPECT_LT(battery, die);
  EXPECT_LT(model::steady_battery_temperature(parameters, 43.0), 40.0)
      << "the native control's die keeps the battery well below the release temperature";

  // After 20 s at full draw the die has gained more than half its way, the battery a little.
  for (int i = 0; i < 20; ++i) nodes = model::step(parameters, nodes, 40000);
  EXPECT_GT(nodes.die - 30.0, (die - 30.0) / 2);
  EXPECT_GT(nodes.battery, 30.0);
  EXPECT_LT(nodes.battery - 30.0, 2.0);
  // Near 50 °C it moves by less than a degree in five seconds: a reading every 5 s sees it
  // before it passes 51 °C.
  while (nodes.battery < 49.0) nodes = model::step(parameters, nodes, 40000);
  const double before = nodes.battery;
  for (int i = 0; i < 5; ++i) nodes = model::step(parameters, nodes, 40000);
  EXPECT_LT(nodes.battery - before, 1.0);
  for (int i = 0; i < 5000; ++i) nodes = model::step(parameters, nodes, 40000);
  EXPECT_NEAR(nodes.battery, battery, 1e-3);
  for (int i = 0; i < 10000; ++i) nodes = model::step(parameters, nodes, 0);
  EXPECT_NEAR(nodes.battery, parameters.ambient, 1e-3);
}

}  // namespace
