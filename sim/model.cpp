#include "sim/model.hpp"

#include <algorithm>

namespace halvernic::sim::model {

Nodes initial(const Parameters& parameters) {
  const double start = parameters.ambient + parameters.start_above_ambient;
  return Nodes{start, start};
}

Nodes step(const Parameters& parameters, const Nodes& nodes, double cpu_power) {
  Nodes next = nodes;
  next.die += parameters.heating_per_watt * (cpu_power / 1000.0) -
              parameters.cooling * (nodes.die - parameters.ambient);
  next.battery += parameters.battery_from_die * (nodes.die - nodes.battery) -
                  parameters.battery_cooling * (nodes.battery - parameters.ambient);
  return next;
}

double steady_die_temperature(const Parameters& parameters, double cpu_power) {
  return parameters.ambient +
         parameters.heating_per_watt * (cpu_power / 1000.0) / parameters.cooling;
}

double steady_battery_temperature(const Parameters& parameters, double die) {
  return (parameters.battery_from_die * die + parameters.battery_cooling * parameters.ambient) /
         (parameters.battery_from_die + parameters.battery_cooling);
}

std::int64_t pressure_level(std::int64_t current, double temperature,
                            std::span<const double> thresholds, double hysteresis) {
  const auto levels = static_cast<std::int64_t>(thresholds.size());
  auto threshold = [&](std::int64_t level) {
    return thresholds[static_cast<std::size_t>(level - 1)];
  };
  std::int64_t reached = 0;
  while (reached < levels && temperature >= threshold(reached + 1)) ++reached;
  std::int64_t level = std::clamp<std::int64_t>(current, 0, levels);
  if (reached >= level) return reached;
  while (level > 0 && temperature < threshold(level) - hysteresis) --level;
  return level;
}

int brightness_limit(std::int64_t level) {
  return static_cast<int>(std::max<std::int64_t>(100 - 15 * std::max<std::int64_t>(level, 0), 25));
}

}  // namespace halvernic::sim::model
