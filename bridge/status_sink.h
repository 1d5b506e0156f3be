// The window surface: the only way the bridge reports what it does and
// reads what the user chose. The main window carries these out; tests link
// a recording stand-in instead.
//
// On the handset each call is a window message handled by the UI thread,
// and a call made by the worker returns only once the UI thread has handled
// it. So the UI thread must never wait for the worker.
#ifndef VELMORA_STATUS_SINK_H
#define VELMORA_STATUS_SINK_H

// Input line (control 1003): what the serial side is doing.
void SetInputStatus(const wchar_t* text);

// Output line (control 1004): what the network side is doing.
void SetOutputStatus(const wchar_t* text);

// The Start/Stop key (command 106 of the soft-key bar).
void SetKeyLabel(const wchar_t* text);
void SetKeyEnabled(bool enabled);
// False only when the key is known to be greyed: its command is then to
// do nothing. A key whose state cannot be read counts as enabled.
bool IsKeyEnabled();

// Copies the selected port name into `name` (kPortNameChars, zero-filled by
// the caller). With nothing selected it shows "No port selected!" and leaves
// `name` empty; callers go on either way.
void GetSelectedPort(wchar_t* name);

// The port field as an unsigned number; no number gives 0.
unsigned int GetTcpPortField();

#endif
