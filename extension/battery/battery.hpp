// The battery's temperature, read as iOS battery tools read it: the "Temperature" property
// of the I/O Registry's AppleSmartBattery entry, a number in hundredths of a degree
// Celsius.
#pragma once

#include <optional>

namespace halvernic::battery {

inline constexpr char kBatteryServiceClass[] = "AppleSmartBattery";
inline constexpr char kTemperatureProperty[] = "Temperature";

// Readings outside this range (hundredths of a degree Celsius) are a sensor's error value,
// not a temperature: no battery the phone runs on is colder than -50 °C or hotter than 150 °C.
inline constexpr int kLowestPlausibleCentiCelsius = -5000;
inline constexpr int kHighestPlausibleCentiCelsius = 15000;

// The reading now, in hundredths of a degree Celsius, rounded; nothing when it is unknown:
// no such entry, no such property, a value that is no number (a Boolean is none) or not a
// plausible temperature. Every object it obtains is released. Costs one registry lookup
// (an IPC to the kernel on a device); never called on a hot path.
std::optional<int> readTemperatureCentiCelsius() noexcept;

}  // namespace halvernic::battery
