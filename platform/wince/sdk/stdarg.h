/*
 * Variable argument lists. The handset's C library names the type va_list
 * and puts it in stdarg.h (Windows CE 5.0 C run-time reference, "vprintf
 * Functions"); how the arguments are walked belongs to the compiler, here
 * the GNU compiler standing in for the handset's. Debian's mingw-w64
 * compiler wraps its own stdarg.h around its C library's, so the handset
 * check cannot use it and reads this one.
 */
#ifndef VELMORA_SDK_STDARG_H
#define VELMORA_SDK_STDARG_H

typedef __builtin_va_list va_list;
#define va_start(ap, last)  __builtin_va_start(ap, last)
#define va_arg(ap, type)    __builtin_va_arg(ap, type)
#define va_end(ap)          __builtin_va_end(ap)

#endif
