/*
 * The handset's C library: formatted output as the Windows CE 5.0 C
 * run-time reference declares it ("_vsnprintf, _vsnwprintf"). The handset
 * has no snprintf, and its swprintf takes no count ("sprintf, swprintf"),
 * so neither is declared here. Coredll.dll exports _vsnwprintf.
 */
#ifndef VELMORA_SDK_STDIO_H
#define VELMORA_SDK_STDIO_H

#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list argptr);

#ifdef __cplusplus
}
#endif

#endif
