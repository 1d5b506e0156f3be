#ifndef VELMORA_STATUS_TEXT_H
#define VELMORA_STATUS_TEXT_H

#include <stddef.h>

// printf-style formatting into a buffer of `chars` characters that the
// caller has zero-filled; the last character is never written, so the text
// always ends there at the latest. "%ls" takes a wide string.
void FormatStatus(wchar_t* buffer, size_t chars, const wchar_t* format, ...);

#endif
