/*
 * Darwin notification service, the subset this system uses: system-wide names, each with
 * a 64-bit state, posted to every registered client in every process.
 *
 * Names, signatures and status values are the platform's. On Linux the service is either
 * the notify daemon (hv-notifyd) reached over a Unix socket, or, when no socket is
 * configured, a table inside the process.
 */
#ifndef __NOTIFICATION_H__
#define __NOTIFICATION_H__

#include <stdbool.h>
#include <stdint.h>

#define NOTIFY_STATUS_OK 0
#define NOTIFY_STATUS_INVALID_NAME 1
#define NOTIFY_STATUS_INVALID_TOKEN 2
#define NOTIFY_STATUS_INVALID_PORT 3
#define NOTIFY_STATUS_INVALID_FILE 4
#define NOTIFY_STATUS_INVALID_SIGNAL 5
#define NOTIFY_STATUS_INVALID_REQUEST 6
#define NOTIFY_STATUS_NOT_AUTHORIZED 7
#define NOTIFY_STATUS_OPT_DISABLE 8
#define NOTIFY_STATUS_SERVER_NOT_FOUND 9
#define NOTIFY_STATUS_NULL_INPUT 10
#define NOTIFY_STATUS_FAILED 1000000

#define NOTIFY_REUSE 0x00000001
#define NOTIFY_TOKEN_INVALID -1

#ifdef __cplusplus
extern "C" {
#endif

uint32_t notify_post(const char* name);
uint32_t notify_register_check(const char* name, int* out_token);
uint32_t notify_cancel(int token);
uint32_t notify_set_state(int token, uint64_t state64);
uint32_t notify_get_state(int token, uint64_t* state64);
bool notify_is_valid_token(int val);

#ifdef __cplusplus
}
#endif

#endif /* __NOTIFICATION_H__ */
