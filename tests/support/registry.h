// Values written under HKEY_LOCAL_MACHINE of the test prefix, exactly as
// given: another program's or an earlier version's, for the program to read;
// and what its settings read back.
#pragma once

#include <windows.h>

#include <string>

// Creates `key` (with every key above it) and stores `size` bytes of `data`
// in `value`, and checks that exactly those were stored; a null `value`
// creates the key alone. String data keeps its terminator only when `size`
// takes it in.
void StoreValue(const std::wstring& key, const wchar_t* value, DWORD type, const void* data, DWORD size);
// A REG_SZ with its terminator, as programs normally store one.
void StoreText(const std::wstring& key, const wchar_t* value, const std::wstring& text);
void StoreDword(const std::wstring& key, const wchar_t* value, DWORD number);
// Loads the settings as the window does, offering 16 bytes for the name, and
// checks that they read `port` (failing with `why`) and `name`; returns the
// port read.
DWORD ExpectSettings(DWORD port, const wchar_t* name, const char* why = "");
