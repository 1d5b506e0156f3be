#include "support/stream_pattern.h"

std::string BreakInKeepSendingStream(const unsigned char* data, size_t size)
{
    const size_t kBlock = 512;
    const unsigned kValues = 251;
    size_t start = 0;
    while (start < size) {
        const unsigned char value = data[start];
        if (value >= kValues) {
            return "byte " + std::to_string(value) + " at offset " + std::to_string(start) +
                   " never comes from the device";
        }
        size_t end = start;
        while (end < size && data[end] == value) ++end;
        const size_t length = end - start;
        const bool first = start == 0;
        const bool last = end == size;
        if (length > kBlock || (!first && !last && length != kBlock)) {
            return "run of " + std::to_string(length) + " bytes of " + std::to_string(value) + " at offset " +
                   std::to_string(start) + " (interior runs are 512 long)";
        }
        if (!last && data[end] < kValues && data[end] != (value + 1) % kValues) {
            return "jump from " + std::to_string(value) + " to " + std::to_string(data[end]) + " at offset " +
                   std::to_string(end);
        }
        start = end;
    }
    return "";
}
