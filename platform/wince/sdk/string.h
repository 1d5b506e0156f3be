/*
 * The handset's C library: the buffer and wide-string functions Velmora
 * uses, each as the Windows CE 5.0 C run-time reference declares it
 * ("memset, wmemset", "memcpy, wmemcpy", "strcpy, wcscpy",
 * "strlen, wcslen"). Coredll.dll exports them.
 */
#ifndef VELMORA_SDK_STRING_H
#define VELMORA_SDK_STRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void* memset(void* dest, int c, size_t count);
void* memcpy(void* dest, const void* src, size_t count);
wchar_t* wcscpy(wchar_t* strDestination, const wchar_t* strSource);
size_t wcslen(const wchar_t* string);

#ifdef __cplusplus
}
#endif

#endif
