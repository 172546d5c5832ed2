// SHA-256 without the platform: the rollout cohort must come out the same
// on every machine and in the native tests, which have no BCrypt.
#pragma once

#include <cstddef>
#include <cstdint>

void Sha256(const void* pData, size_t nSize, uint8_t (&digest)[32]);
