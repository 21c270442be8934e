/*
 * Where the IOKit stand-in (libhvIOKit.so) keeps the I/O Registry of a simulated device:
 * one property list per registry entry, named after the entry's class, below the device
 * root ($HALVERNIC_DEVICE_ROOT/var/run/ioregistry/AppleSmartBattery.plist), whose root
 * dictionary holds the entry's properties. Whoever plays the hardware writes it (the
 * simulated thermalmonitord writes the battery's); a process without a device root sees an
 * empty registry.
 */
#ifndef HVPLATFORM_IOKIT_REGISTRY_H
#define HVPLATFORM_IOKIT_REGISTRY_H

#define HV_IOREGISTRY_FOLDER "var/run/ioregistry"

/* An entry's file is read whole up to this size; a larger one is no entry. */
#define HV_IOREGISTRY_MAX_ENTRY_BYTES (64 * 1024)

#endif /* HVPLATFORM_IOKIT_REGISTRY_H */
