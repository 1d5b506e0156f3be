#include "support/pty_port.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string Prefix()
{
    const char* prefix = std::getenv("WINEPREFIX");
    return prefix ? prefix : "";
}

bool Exists(const std::string& unixPath)
{
    return GetFileAttributesW(UnixToWindowsPath(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WaitExists(const std::string& unixPath, bool wanted, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (Exists(unixPath) == wanted) return true;
        Sleep(10);
    }
    return false;
}

// COM10 and up, so the default ports of the prefix are never touched; the
// process id spreads tests that run at the same time.
int FreeComNumber()
{
    static int next = 0;
    for (int i = 0; i < 240; ++i) {
        int n = 10 + static_cast<int>((GetCurrentProcessId() / 4 + next++) % 240);
        if (!Exists(Prefix() + "/dosdevices/com" + std::to_string(n))) return n;
    }
    return 0;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

}  // namespace

std::wstring UnixToWindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath) path += (c == '/') ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

std::wstring UnusedComPort()
{
    return L"COM" + std::to_wstring(FreeComNumber());
}

PtyPort::PtyPort(const std::wstring& name)
{
    int number = name.empty() ? FreeComNumber() : std::stoi(name.substr(3));
    if (number == 0 || Prefix().empty()) return;
    name_ = L"COM" + std::to_wstring(number);
    static int serial = 0;
    // Process ids count separately in each Wine prefix, so a test of another
    // build tree may hold the same id at the same time: only a directory
    // this test created itself is its own.
    for (;;) {
        dir_ = "/tmp/velmora-pty-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
        if (CreateDirectoryW(UnixToWindowsPath(dir_).c_str(), NULL)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS || serial > 1000) {
            dir_.clear();
            return;
        }
    }
    // The helper runs while this file exists. Held open with delete-on-close,
    // it also goes when this process dies without cleaning up.
    alive_ = CreateFileW(UnixToWindowsPath(dir_ + "/alive").c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, NULL,
                         CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, NULL);

    std::string link = Prefix() + "/dosdevices/com" + std::to_string(number);
    std::wstring command = L"Z:\\bin\\sh " + Widen(VELMORA_SCRIPTS_DIR "/com-port.sh") + L" " +
                           Widen(dir_) + L" " + Widen(link);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Wine starts a Unix program directly; it hands back no usable process
    // handle, so the helper is told to end by the "alive" file going.
    if (!CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return;
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);

    if (!WaitExists(dir_ + "/ready", true, 5000)) return;
    device_ = CreateFileW(UnixToWindowsPath(dir_ + "/device").c_str(), GENERIC_WRITE, 0, NULL,
                          OPEN_EXISTING, 0, NULL);
}

PtyPort::~PtyPort()
{
    stop_ = true;
    if (!dir_.empty()) {
        CloseHandle(alive_);
        // The relay's end makes a blocked write fail, so the writer can end.
        WaitExists(dir_ + "/done", true, 5000);
    }
    if (writer_.joinable()) writer_.join();
    if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
    if (!dir_.empty()) {
        DeleteFileW(UnixToWindowsPath(dir_ + "/done").c_str());
        DeleteFileW(UnixToWindowsPath(dir_ + "/log").c_str());
        RemoveDirectoryW(UnixToWindowsPath(dir_).c_str());
    }
}

bool PtyPort::Write(const void* data, size_t size)
{
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(device_, next, chunk, &written, NULL) || written == 0) return false;
        next += written;
        size -= written;
    }
    return true;
}

void PtyPort::WriteInBackground(std::vector<unsigned char> data)
{
    writer_ = std::thread([this, data = std::move(data)] { Write(data.data(), data.size()); });
}

void PtyPort::KeepSending()
{
    stop_ = false;
    writer_ = std::thread([this] {
        unsigned char block[512];
        for (unsigned n = 0; !stop_; ++n) {
            for (; paused_ && !stop_; Sleep(10)) {}
            memset(block, static_cast<int>(n % 251), sizeof block);
            if (!Write(block, sizeof block)) return;
            sent_ += sizeof block;
        }
    });
}
