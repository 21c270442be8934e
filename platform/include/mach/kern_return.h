/* Mach's status codes, the subset this system uses (the platform's <mach/kern_return.h>). */
#ifndef _MACH_KERN_RETURN_H_
#define _MACH_KERN_RETURN_H_

typedef int kern_return_t;

#define KERN_SUCCESS 0
#define KERN_INVALID_ARGUMENT 4

#endif /* _MACH_KERN_RETURN_H_ */
