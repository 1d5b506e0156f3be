#include "support/faults.h"

#include <map>
#include <string>

namespace {

SRWLOCK lock = SRWLOCK_INIT;
struct Hold {
    Hold() { AcquireSRWLockExclusive(&lock); }
    ~Hold() { ReleaseSRWLockExclusive(&lock); }
};

// The calls armed to fail, each with its own count, error and lasting.
struct Armed {
    int callsLeft;
    DWORD error;
    bool lasting;
};
std::map<std::string, Armed> armed;
std::map<std::string, int> inside;

// True when this call is the one to fail; else it is under way until Leave.
bool Enter(const char* call, DWORD* error)
{
    Hold hold;
    auto it = armed.find(call);
    if (it != armed.end() && --it->second.callsLeft <= 0) {
        *error = it->second.error;
        if (!it->second.lasting) armed.erase(it);
        return true;
    }
    ++inside[call];
    return false;
}

void Leave(const char* call) { Hold hold; --inside[call]; }

void Returned(DWORD) {}   // the call hands its error back as its result

}  // namespace

namespace faults {

void Fail(const char* call, int nth, DWORD error, bool last)
{
    Hold hold;
    armed[call] = Armed{nth, error, last};
}

void Clear() { Hold hold; armed.clear(); }

int Inside(const char* call) { Hold hold; return inside[call]; }

}  // namespace faults

// VELMORA_FAULT(call, what a failed call returns (`e` is the error), how
// it reports the error). tests/CMakeLists.txt reads the calls from these
// lines; each binds __imp_velmora_fault_<call>, the import it renames.
#define VELMORA_FAULT(call, failed, report)                                       \
    extern "C" decltype(&call) __imp_velmora_fault_##call;                         \
    decltype(&call) __imp_velmora_fault_##call = [](auto... a) {                  \
        using Result = decltype(call(a...));                                      \
        DWORD e = 0;                                                              \
        if (Enter(#call, &e)) {                                                   \
            report(e);                                                            \
            return Result(failed);                                                \
        }                                                                         \
        Result result = call(a...);                                               \
        Leave(#call);                                                             \
        return result;                                                            \
    };

VELMORA_FAULT(WSAStartup, e, Returned)
VELMORA_FAULT(socket, INVALID_SOCKET, WSASetLastError)
VELMORA_FAULT(bind, SOCKET_ERROR, WSASetLastError)
VELMORA_FAULT(listen, SOCKET_ERROR, WSASetLastError)
VELMORA_FAULT(accept, INVALID_SOCKET, WSASetLastError)
VELMORA_FAULT(send, SOCKET_ERROR, WSASetLastError)
VELMORA_FAULT(CreateThread, NULL, SetLastError)
VELMORA_FAULT(CreateFileW, INVALID_HANDLE_VALUE, SetLastError)
VELMORA_FAULT(GetCommTimeouts, FALSE, SetLastError)
VELMORA_FAULT(SetCommTimeouts, FALSE, SetLastError)
VELMORA_FAULT(ReadFile, FALSE, SetLastError)
VELMORA_FAULT(ClearCommError, FALSE, SetLastError)
VELMORA_FAULT(RegCreateKeyExW, e, Returned)
VELMORA_FAULT(RegFlushKey, e, Returned)
VELMORA_FAULT(RegOpenKeyExW, e, Returned)
