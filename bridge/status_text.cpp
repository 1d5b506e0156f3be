#include "bridge/status_text.h"

#include <stdarg.h>
#include <stdio.h>

void FormatStatus(wchar_t* buffer, size_t chars, const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    _vsnwprintf(buffer, chars - 1, format, arguments);
    va_end(arguments);
}
