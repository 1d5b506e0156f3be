// Checks what a client received from a device running PtyPort::KeepSending:
// 512-byte blocks, block n filled with n % 251.
#pragma once

#include <cstddef>
#include <string>

// Empty when `data` is one unbroken stretch of that sequence: every run of
// equal bytes steps by +1 mod 251 from the one before, and every run but
// the first and the last is exactly 512 bytes long (a client may join or
// leave in the middle of a block). Otherwise says where and how it breaks.
std::string BreakInKeepSendingStream(const unsigned char* data, size_t size);
