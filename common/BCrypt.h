// Owners of the platform's cryptography handles, and the SHA-256 digest
// built on them.
#pragma once

#include "common/Handle.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdint>
#include <vector>

struct BCryptAlgorithmTraits : NullEmptyTraits<BCRYPT_ALG_HANDLE> {
    static void Close(BCRYPT_ALG_HANDLE h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
using CBCryptAlgorithm = CUniqueHandle<BCryptAlgorithmTraits>;

struct BCryptKeyTraits : NullEmptyTraits<BCRYPT_KEY_HANDLE> {
    static void Close(BCRYPT_KEY_HANDLE h) noexcept { ::BCryptDestroyKey(h); }
};
using CBCryptKey = CUniqueHandle<BCryptKeyTraits>;

struct BCryptHashTraits : NullEmptyTraits<BCRYPT_HASH_HANDLE> {
    static void Close(BCRYPT_HASH_HANDLE h) noexcept { ::BCryptDestroyHash(h); }
};
using CBCryptHash = CUniqueHandle<BCryptHashTraits>;

// SHA-256 over bytes given in pieces. Start() begins a digest, and again
// after Finish() or a restart a new one; the provider is opened once.
class CSha256 {
public:
    bool Start() {
        m_hash.Reset();
        if (!m_alg) {
            DWORD objLen = 0, got = 0;
            if (::BCryptOpenAlgorithmProvider(m_alg.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
                m_alg.Release();
                return false;
            }
            if (::BCryptGetProperty(m_alg.Get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objLen), sizeof objLen,
                                    &got, 0) < 0)
                return false;
            m_object.resize(objLen);
        }
        if (::BCryptCreateHash(m_alg.Get(), m_hash.Put(), m_object.data(), static_cast<ULONG>(m_object.size()), nullptr,
                               0, 0) < 0) {
            m_hash.Release();
            return false;
        }
        return true;
    }
    bool Add(const void* p, size_t n) {
        return m_hash &&
               ::BCryptHashData(m_hash.Get(), static_cast<PUCHAR>(const_cast<void*>(p)), static_cast<ULONG>(n), 0) >= 0;
    }
    bool Finish(uint8_t (&digest)[32]) { return m_hash && ::BCryptFinishHash(m_hash.Get(), digest, 32, 0) >= 0; }

private:
    CBCryptAlgorithm m_alg;
    std::vector<UCHAR> m_object;  // the hash's working memory, which outlives it
    CBCryptHash m_hash;
};

// Adds a file's bytes from its start, at most nMax of them, to a digest
// already begun; nRead tells how many, fewer than nMax only where the file
// ends first. The file position is left after the last byte read.
inline bool AddFileStart(CSha256& hash, HANDLE hFile, uint64_t nMax, uint64_t& nRead) {
    nRead = 0;
    LARGE_INTEGER zero = {};
    if (!::SetFilePointerEx(hFile, zero, nullptr, FILE_BEGIN)) return false;
    std::vector<uint8_t> buf(1u << 20);
    while (nRead < nMax) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(nMax - nRead, buf.size()));
        if (!::ReadFile(hFile, buf.data(), want, &got, nullptr)) return false;
        if (got == 0) break;
        if (!hash.Add(buf.data(), got)) return false;
        nRead += got;
    }
    return true;
}

// SHA-256 of a whole file read through an open handle from its start.
inline bool Sha256OfFile(HANDLE hFile, uint8_t (&digest)[32]) {
    CSha256 hash;
    uint64_t nRead = 0;
    return hash.Start() && AddFileStart(hash, hFile, UINT64_MAX, nRead) && hash.Finish(digest);
}
