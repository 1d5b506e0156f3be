// Values written under HKEY_LOCAL_MACHINE of the test prefix, exactly as
// given: another program's or an earlier version's, for the program to read.
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
