/*
 * The platform's thermal-pressure notification name, exported by libhvosthermal.so (a
 * library a test process can load or leave out). The platform's SDK for iOS has no header
 * for it: product code declares it itself, weakly.
 */
#ifndef HVPLATFORM_OSTHERMAL_H
#define HVPLATFORM_OSTHERMAL_H

#ifdef __cplusplus
extern "C" {
#endif

extern const char* const kOSThermalNotificationPressureLevelName __attribute__((weak));

#ifdef __cplusplus
}
#endif

#endif /* HVPLATFORM_OSTHERMAL_H */
