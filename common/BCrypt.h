// Owners of the platform's cryptography handles.
#pragma once

#include "common/Handle.h"

#include <bcrypt.h>

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
