// SHA-256 through the system's own provider (BCrypt), so the digest does
// not depend on code written for these tests.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Ready() const { return hash_ != nullptr; }
    void Add(const void* data, size_t size);
    // The digest in lower-case hex; the object is spent afterwards.
    std::string Finish();

private:
    void* algorithm_ = nullptr;
    void* hash_ = nullptr;
};
