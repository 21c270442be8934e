/*
 * Environment variables read by the Linux stand-ins (never by product code).
 *
 *   HALVERNIC_DEVICE_ROOT    folder that plays the device's "/": the SystemConfiguration
 *                            store and libroot's /var/jb live below it.
 *   HALVERNIC_NOTIFY_SOCKET  Unix socket of the notify daemon (hv-notifyd). When set, every
 *                            notify call goes to that daemon (an error status when it is not
 *                            running); when unset, names and states live inside the process.
 *                            hv-notifyd's default socket is
 *                            $HALVERNIC_DEVICE_ROOT/var/run/hv-notifyd.socket.
 */
#ifndef HVPLATFORM_ENVIRONMENT_H
#define HVPLATFORM_ENVIRONMENT_H

#define HV_ENV_DEVICE_ROOT "HALVERNIC_DEVICE_ROOT"
#define HV_ENV_NOTIFY_SOCKET "HALVERNIC_NOTIFY_SOCKET"
#define HV_NOTIFYD_DEFAULT_SOCKET "var/run/hv-notifyd.socket"

#endif /* HVPLATFORM_ENVIRONMENT_H */
