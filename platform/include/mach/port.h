/* Mach port names, the subset this system uses (the platform's <mach/port.h>). */
#ifndef _MACH_PORT_H_
#define _MACH_PORT_H_

typedef unsigned int mach_port_t;

#define MACH_PORT_NULL 0

#endif /* _MACH_PORT_H_ */
