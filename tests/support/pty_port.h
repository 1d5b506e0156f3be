// A COM port backed by a pseudo-terminal pair, private to one test.
// The program under test opens Name(); the test plays the device by
// writing to the other end.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class PtyPort {
public:
    // On the COM port `name` when given (a device back under the name it
    // had), else on one the prefix does not map yet.
    explicit PtyPort(const std::wstring& name = L"");
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    bool Ready() const { return device_ != INVALID_HANDLE_VALUE; }
    const std::wstring& Name() const { return name_; }   // e.g. L"COM23"

    // Blocking write of the whole block, as the device would send it.
    bool Write(const void* data, size_t size);
    // Writes `data` from a thread of its own, once.
    void WriteInBackground(std::vector<unsigned char> data);
    // Keeps sending 512-byte blocks until destruction; block n is filled
    // with the byte n % 251.
    void KeepSending();
    // While paused, KeepSending writes nothing more: the device falls
    // silent once what it wrote has been read.
    void Pause(bool paused) { paused_ = paused; }
    // Bytes KeepSending has written so far; stops growing once nobody
    // reads the port.
    size_t Sent() const { return sent_; }

private:
    std::wstring name_;
    std::string dir_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
    HANDLE alive_ = INVALID_HANDLE_VALUE;
    std::thread writer_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<size_t> sent_{0};
};

// Converts a Unix path to the Z: drive path Wine maps it to.
std::wstring UnixToWindowsPath(const std::string& unixPath);

// A COM port name that no device backs in this prefix.
std::wstring UnusedComPort();
