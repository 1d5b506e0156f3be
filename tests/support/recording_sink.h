// A status sink that keeps every call, in order, so tests can assert the
// exact sequence of texts, key labels and key states the bridge produced.
// Events read "in:<text>", "out:<text>", "label:<text>", "key:enabled",
// "key:greyed" and "box:<text>|<caption>".
#pragma once

#include <string>
#include <vector>

namespace recording {

void Reset();                                   // no events, port "", field 0, no selection
void SelectPort(const std::wstring& name);
void SelectNothing();
void SetTcpPortField(unsigned int value);
// Issues the key's command as the UI thread does: the worker's status
// calls wait until it has returned. With `times` the command arrives that
// often before the first is handled; the rest are handled in turn, or
// inside a box the UI thread shows.
void Press(int times = 1);

std::vector<std::wstring> Events();
int Count(const std::wstring& event);
// Waits until `event` has been recorded at least `times` times.
bool WaitFor(const std::wstring& event, int times = 1, int timeoutMs = 10000);
// Waits until the worker is in accept, waiting for the next client.
bool WaitForWorkerAwaitingClient(int timeoutMs = 10000);
// The last text shown on a target ("in", "out", "label").
std::wstring Last(const std::wstring& target);
// True when `expected` occurs in the recorded events in this order (other
// events may come between).
bool InOrder(const std::vector<std::wstring>& expected);
// Every event from the `from`th on, one a line, for failure messages.
std::string Dump(size_t from = 0);

}  // namespace recording
