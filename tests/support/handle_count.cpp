#include "support/handle_count.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

namespace {

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTraceIndex;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

const int kSystemExtendedHandleInformation = 64;
typedef LONG(NTAPI* QuerySystem)(int, PVOID, ULONG, PULONG);

}  // namespace

long CountProcessHandles()
{
    auto query = reinterpret_cast<QuerySystem>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        LONG status = query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
            const ULONG_PTR self = GetCurrentProcessId();
            long count = 0;
            for (ULONG_PTR i = 0; i < table->count; ++i) count += (table->entries[i].processId == self);
            return count;
        }
        buffer.resize(buffer.size() * 2 + needed);
    }
    return -1;
}
