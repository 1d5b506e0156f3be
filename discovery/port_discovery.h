// Gathers the serial port names the handset knows of into the port list.
#ifndef VELMORA_PORT_DISCOVERY_H
#define VELMORA_PORT_DISCOVERY_H

#include <windows.h>

// Adds the ports of active drivers, then of Bluetooth serial ports, to
// `list` (a sorted list box). Every failure is silent.
void FillPortList(HWND list);

// Adds the "COM..." names held in value `valueName` of each sub-key of
// HKEY_LOCAL_MACHINE\`root`, with a trailing ":" removed.
void AddPortsFromRegistry(HWND list, const wchar_t* root, const wchar_t* valueName);

#endif
