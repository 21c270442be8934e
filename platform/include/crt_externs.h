/* The process's argument vector and environment, as the platform's C runtime exposes them. */
#ifndef _CRT_EXTERNS_H_
#define _CRT_EXTERNS_H_

#ifdef __cplusplus
extern "C" {
#endif

extern char*** _NSGetArgv(void);
extern int* _NSGetArgc(void);
extern char*** _NSGetEnviron(void);
extern char** _NSGetProgname(void);

#ifdef __cplusplus
}
#endif

#endif /* _CRT_EXTERNS_H_ */
