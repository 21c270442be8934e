// The platform's notify name for the system thermal-pressure level.
extern "C" {
[[gnu::visibility("default")]] extern const char* const kOSThermalNotificationPressureLevelName;
const char* const kOSThermalNotificationPressureLevelName = "com.apple.system.thermalpressurelevel";
}
