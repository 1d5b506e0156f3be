/*
 * The C library's basic types as the handset's declares them (Windows CE
 * 5.0 C run-time reference, "memset, wmemset" and the other functions that
 * take a size_t). Debian's mingw-w64 compiler wraps its own stddef.h around
 * its C library's, so the handset check cannot use it and reads this one.
 */
#ifndef VELMORA_SDK_STDDEF_H
#define VELMORA_SDK_STDDEF_H

typedef unsigned int size_t;

#ifndef NULL
#ifdef __cplusplus
#define NULL 0
#else
#define NULL ((void*)0)
#endif
#endif

#endif
