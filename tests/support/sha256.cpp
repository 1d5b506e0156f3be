#include "support/sha256.h"

#include <bcrypt.h>

Sha256::Sha256()
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return;
    algorithm_ = algorithm;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) hash_ = hash;
}

Sha256::~Sha256()
{
    if (hash_) BCryptDestroyHash(hash_);
    if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

void Sha256::Add(const void* data, size_t size)
{
    const unsigned char* next = static_cast<const unsigned char*>(data);
    while (size > 0) {
        ULONG chunk = size > (1u << 30) ? (1u << 30) : static_cast<ULONG>(size);
        BCryptHashData(hash_, const_cast<PUCHAR>(next), chunk, 0);
        next += chunk;
        size -= chunk;
    }
}

std::string Sha256::Finish()
{
    unsigned char digest[32];
    if (!BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest, sizeof digest, 0))) return "<no digest>";
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}
