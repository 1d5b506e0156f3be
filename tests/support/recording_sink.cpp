#include "support/recording_sink.h"

#include "bridge/bridge_state.h"
#include "bridge/controller.h"
#include "bridge/status_sink.h"
#include "support/faults.h"

#include <windows.h>

#include <cwchar>
#include <mutex>

namespace {

// The system's own lock and condition, which never hold a kernel object.
// A std::mutex here gets a wait event the first time two threads meet on
// it, at a moment timing decides; one made after a test's baseline handle
// count passed for a handle the bridge had leaked.
struct Lock {
    void lock() { AcquireSRWLockExclusive(&srw); }
    void unlock() { ReleaseSRWLockExclusive(&srw); }
    SRWLOCK srw = SRWLOCK_INIT;
};

Lock lock;
CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
std::vector<std::wstring> events;
bool selected = false;
std::wstring selection;
unsigned int field = 0;
bool keyEnabled = true;

// On the handset every status call is a message to the UI thread, so a
// call from the worker waits while the UI thread is busy with the key's
// command. recording::Press holds this for the length of the command.
Lock ui;
DWORD uiThread = 0;
int queued = 0;   // commands that arrived behind the one being handled

// Handles the commands queued behind the one under way, as the UI
// thread's message loops do.
void HandleQueued()
{
    while (queued > 0) {
        --queued;
        ToggleBridge();
    }
}

void WaitForUiThread()
{
    if (GetCurrentThreadId() != uiThread) {
        std::lock_guard<Lock> wait(ui);
    }
}

// Held through the change, so the key's state never changes in the
// middle of a command.
void Record(const std::wstring& event)
{
    std::unique_lock<Lock> wait(ui, std::defer_lock);
    if (GetCurrentThreadId() != uiThread) wait.lock();
    std::lock_guard<Lock> hold(lock);
    events.push_back(event);
    if (event.compare(0, 4, L"key:") == 0) keyEnabled = event == L"key:enabled";
    WakeAllConditionVariable(&changed);
}

int CountLocked(const std::wstring& event)
{
    int n = 0;
    for (const auto& e : events) n += (e == event);
    return n;
}

}  // namespace

void SetInputStatus(const wchar_t* text) { Record(L"in:" + std::wstring(text)); }
void SetOutputStatus(const wchar_t* text) { Record(L"out:" + std::wstring(text)); }
void SetKeyLabel(const wchar_t* text) { Record(L"label:" + std::wstring(text)); }
void SetKeyEnabled(bool enabled) { Record(enabled ? L"key:enabled" : L"key:greyed"); }

bool IsKeyEnabled() { return keyEnabled; }

void GetSelectedPort(wchar_t* name)
{
    WaitForUiThread();
    bool has;
    std::wstring copy;
    {
        std::lock_guard<Lock> hold(lock);
        has = selected;
        copy = selection;
    }
    if (!has) {
        Record(L"box:No port selected!|Error");
        // A box on the UI thread runs a message loop of its own until OK.
        if (GetCurrentThreadId() == uiThread) HandleQueued();
        return;
    }
    // Same limit as the real list: an entry that does not fit is refused.
    if (copy.size() < static_cast<size_t>(kPortNameChars)) {
        std::wmemcpy(name, copy.c_str(), copy.size());
    }
}

unsigned int GetTcpPortField()
{
    std::lock_guard<Lock> hold(lock);
    return field;
}

namespace recording {

void Press(int times)
{
    std::lock_guard<Lock> busy(ui);
    uiThread = GetCurrentThreadId();
    queued = times;
    HandleQueued();
    uiThread = 0;
}

void Reset()
{
    SelectNothing();
    std::lock_guard<Lock> hold(lock);
    events.clear();
    field = 0;
    keyEnabled = true;
}

void SelectPort(const std::wstring& name)
{
    std::lock_guard<Lock> hold(lock);
    selected = true;
    selection = name;
}

void SelectNothing()
{
    std::lock_guard<Lock> hold(lock);
    selected = false;
    selection.clear();
}

void SetTcpPortField(unsigned int value)
{
    std::lock_guard<Lock> hold(lock);
    field = value;
}

std::vector<std::wstring> Events()
{
    std::lock_guard<Lock> hold(lock);
    return events;
}

int Count(const std::wstring& event)
{
    std::lock_guard<Lock> hold(lock);
    return CountLocked(event);
}

bool WaitFor(const std::wstring& event, int times, int timeoutMs)
{
    const DWORD start = GetTickCount();
    std::lock_guard<Lock> hold(lock);
    for (;;) {
        if (CountLocked(event) >= times) return true;
        const DWORD waited = GetTickCount() - start;
        if (waited >= static_cast<DWORD>(timeoutMs)) return false;
        SleepConditionVariableSRW(&changed, &lock.srw, timeoutMs - waited, 0);
    }
}

bool WaitForWorkerAwaitingClient(int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (faults::Inside("accept") > 0) return true;
        Sleep(5);
    }
    return false;
}

std::wstring Last(const std::wstring& target)
{
    std::lock_guard<Lock> hold(lock);
    const std::wstring prefix = target + L":";
    for (auto e = events.rbegin(); e != events.rend(); ++e) {
        if (e->compare(0, prefix.size(), prefix) == 0) return e->substr(prefix.size());
    }
    return L"<never set>";
}

bool InOrder(const std::vector<std::wstring>& expected)
{
    std::lock_guard<Lock> hold(lock);
    size_t next = 0;
    for (const auto& e : events) {
        if (next < expected.size() && e == expected[next]) ++next;
    }
    return next == expected.size();
}

std::string Dump(size_t from)
{
    std::lock_guard<Lock> hold(lock);
    std::string text;
    for (size_t e = from; e < events.size(); ++e) {
        text += "  ";
        for (wchar_t c : events[e]) text += (c < 128) ? static_cast<char>(c) : '?';
        text += "\n";
    }
    return text;
}

}  // namespace recording
