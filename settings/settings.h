// The two values remembered between runs, "TcpPort" and "SerialPort".
#ifndef VELMORA_SETTINGS_H
#define VELMORA_SETTINGS_H

#include <windows.h>

// Their key, under HKEY_LOCAL_MACHINE.
const wchar_t kSettingsKey[] = L"Software\\Tarnik\\Velmora";

// Defaults 20175 and "COM2". `name` is a zero-filled port name buffer;
// `nameBytes` is the room offered for it in bytes (the window offers 16).
// Never reports a failure: what cannot be read keeps its default.
void LoadSettings(DWORD* port, wchar_t* name, DWORD nameBytes);

// Writes both values; a key that cannot be created leaves the stored ones
// as they were, without a word.
void SaveSettings(short port, const wchar_t* name);

#endif
