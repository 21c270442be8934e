// The simulated device's thermal model, all of it in this one place: what heats the device,
// what cools it, and how the simulated daemon's own control turns temperature into a
// pressure level, limits and a brightness cap. The heat scenario (hv-device scenario,
// docs/tour/heat.txt) shows what these figures give; the README says what the model is and
// what it is not.
//
// A configuration (Product.plist) may set ambientTemperature, pressureThresholds,
// pressureLimitPercent and pressureHysteresis for a device of its own; the simulated
// device's configuration leaves them to these defaults.
//
// To add a node (the skin, the board): give it a temperature in Nodes, its coupling in
// Parameters, and its step in step(); the control reads the node it is meant to watch.
#pragma once

#include <cstdint>
#include <span>

namespace halvernic::sim::model {

// ---- heat ------------------------------------------------------------------------------

// Two thermal masses. The SoC die: heated by the CPU power drawn, losing a fixed share of
// its excess over the ambient temperature each second (Newton's cooling). The battery, a
// far larger mass beside it: it gains a small share of the die's excess over it and loses a
// small share of its own excess over the ambient each second, so it lags the die by
// minutes and settles between the two. The die's own cooling stands for all it loses, the
// battery included (the battery takes nothing off the die's figures).
struct Parameters {
  double ambient = 25.0;             // °C
  double start_above_ambient = 5.0;  // °C above ambient when the device starts, every node
  double heating_per_watt = 0.08;    // °C per second per watt the CPU draws
  double cooling = 0.05;             // share of the die's excess over ambient lost per second
  double battery_from_die = 0.004;   // share of the die's excess over the battery gained per second
  double battery_cooling = 0.003;    // share of the battery's excess over ambient lost per second
};

struct Nodes {
  double die = 0;      // °C
  double battery = 0;  // °C
};

Nodes initial(const Parameters& parameters);

// The nodes one second later, the CPU having drawn cpu_power (the daemon's unit,
// milliwatts) during that second.
Nodes step(const Parameters& parameters, const Nodes& nodes, double cpu_power);

// The die's temperature that a constant CPU power settles at.
double steady_die_temperature(const Parameters& parameters, double cpu_power);
// The battery's temperature that a constant die temperature settles it at.
double steady_battery_temperature(const Parameters& parameters, double die);

// ---- the daemon's control ---------------------------------------------------------------

// The temperatures (°C) at which pressure levels 1 to 4 begin.
inline constexpr double kPressureThresholds[] = {38, 41, 44, 47};
// The share (%) of the nominal CPU, package and GPU power each level 0 to 4 allows.
inline constexpr std::int64_t kPressureLimitPercent[] = {100, 80, 60, 40, 25};
// How far (°C) below the threshold that raised a level the temperature must fall before the
// level steps down. Without it the control flips between two levels every second at a
// threshold; with it, a level whose limit settles the die inside its band holds there (at
// level 4, 11250 mW settle the die at 43 °C, below 47 and above 47 - 5).
inline constexpr double kPressureHysteresis = 5.0;

// The pressure level at temperature for a control now at level current: up to the highest
// level whose threshold temperature reached, at once; down, level by level, only while the
// temperature is hysteresis below the threshold of the level it leaves.
std::int64_t pressure_level(std::int64_t current, double temperature,
                            std::span<const double> thresholds, double hysteresis);

// The display's brightness cap (% of full) at a reported pressure level: 15 points less per
// level, never below 25.
int brightness_limit(std::int64_t level);

}  // namespace halvernic::sim::model
