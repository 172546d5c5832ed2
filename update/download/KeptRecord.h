// The record kept beside a partial installer download, and whether a later
// download may continue from it. Another process may have written the
// record: it is read strictly, within a bounded size, and names no path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/manifest/Integrity.h"

// Larger records are never read: the longest URL fits in far less.
enum : size_t { kKeptRecordMaxBytes = 4096 };
// A kept download older than this is thrown away: by then the user has
// most likely been offered another installer anyway.
constexpr int64_t kKeptMaxAgeSeconds = 7 * 24 * 3600;

struct KeptRecord {
    std::string url;                 // the source the bytes came from
    IntegrityExpectation integrity;  // the size and sha256 the manifest gave
    std::string validator;           // strong ETag, else Last-Modified
    uint64_t nTotal = 0;             // length of the answer that began the file
    uint64_t nHeld = 0;              // bytes known to be on the disk
    int64_t nSavedAt = 0;            // UTC seconds since 1970 when written
};

std::string SerializeKeptRecord(const KeptRecord& record);
// False for anything SerializeKeptRecord would not have written, and for
// a record that cannot describe a resumable download (no validator, more
// held than the total, a total that is not the manifest's size).
bool ParseKeptRecord(const std::string& text, KeptRecord& out);

enum class KeptMatch {
    Match,
    Unreadable,      // missing, malformed, or larger than kKeptRecordMaxBytes
    TooOld,          // older than kKeptMaxAgeSeconds, or written in the future
    PastFile,        // counts more bytes than the partial file holds
    OtherUrl,        // the bytes came from another source
    OtherIntegrity,  // the manifest now names another size or digest
};

// The checks that need no download at hand: the record read from text,
// its age at nNow, and the partial file's size.
KeptMatch CheckKeptRecord(const std::string& text, uint64_t nFileSize, int64_t nNow, KeptRecord& out);

// Whether a download of pszUrl expecting want continues the kept one. Both
// size and digest absent match only in a build without a publisher key
// (bKeyed false): with a key, nothing would verify what was kept.
KeptMatch JudgeKeptRecord(const std::string& text, uint64_t nFileSize, int64_t nNow, const char* pszUrl,
                          const IntegrityExpectation& want, bool bKeyed, KeptRecord& out);
