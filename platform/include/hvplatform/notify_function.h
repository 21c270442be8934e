/*
 * The notify service's callback registration, used by the Darwin notify center (the
 * platform reaches it through a private path; this is the Linux stand-in's). Not part of
 * the platform's notify.h.
 *
 * A registered function runs on the notify stand-in's delivery thread (one per process),
 * once per post of the name, in the order the service received the posts. The thread is
 * not attached to the Foundation by the notify library; a caller that needs the
 * Foundation attaches it (the Darwin center does).
 */
#ifndef HVPLATFORM_NOTIFY_FUNCTION_H
#define HVPLATFORM_NOTIFY_FUNCTION_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*hv_notify_function_t)(int token, const char* name, void* context);

/* Registers fn for name; cancel with notify_cancel. After notify_cancel returns, fn is no
 * longer running for that token and will not be called again (unless notify_cancel is
 * called from fn itself, which is allowed). */
uint32_t hv_notify_register_function(const char* name, int* out_token, hv_notify_function_t fn,
                                     void* context);

/* 1 when this process talks to a notify daemon, 0 when it keeps names in-process. */
int hv_notify_uses_daemon(void);

#ifdef __cplusplus
}
#endif

#endif /* HVPLATFORM_NOTIFY_FUNCTION_H */
