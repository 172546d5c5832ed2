#include "update/download/KeptDownload.h"

#include <windows.h>

#include "common/Handle.h"
#include "common/Log.h"
#include "common/UtcTime.h"
#include "update/download/KeptRecord.h"

namespace {
std::wstring RecordPath(const std::wstring& workDir) { return workDir + L"\\download.record"; }
std::wstring NewRecordPath(const std::wstring& workDir) { return workDir + L"\\download.record.new"; }

// The size of a plain file; false for a folder, a link or nothing at all.
bool PlainFileSize(const std::wstring& path, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a) ||
        (a.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    size = (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
    return true;
}

// The record's text; empty when it is missing, not a plain file, or too
// large to be one of ours.
std::string ReadRecord(const std::wstring& workDir) {
    const std::wstring path = RecordPath(workDir);
    uint64_t size = 0;
    if (!PlainFileSize(path, size) || size > kKeptRecordMaxBytes) return std::string();
    CHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    std::string text(kKeptRecordMaxBytes + 1, '\0');
    DWORD got = 0;
    if (!file.IsValid() || !::ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &got, nullptr))
        return std::string();
    text.resize(got);  // one byte past the limit shows that it grew meanwhile
    return text;
}

const char* MatchName(KeptMatch match) {
    switch (match) {
    case KeptMatch::Match: return "match";
    case KeptMatch::Unreadable: return "unreadable";
    case KeptMatch::TooOld: return "too-old";
    case KeptMatch::PastFile: return "counts-past-file";
    case KeptMatch::OtherUrl: return "other-url";
    case KeptMatch::OtherIntegrity: return "other-size-or-sha256";
    }
    return "?";
}

// Judges the kept download as KeptRecord.h says; pszUrl null judges it
// without a download at hand.
KeptMatch JudgeKept(const std::wstring& workDir, const char* pszUrl, const IntegrityExpectation* pWant, bool bKeyed,
                    KeptRecord& record) {
    uint64_t fileSize = 0;
    if (!PlainFileSize(KeptFilePath(workDir), fileSize)) fileSize = 0;
    const std::string text = ReadRecord(workDir);
    return pszUrl ? JudgeKeptRecord(text, fileSize, UtcSecondsNow(), pszUrl, *pWant, bKeyed, record)
                  : CheckKeptRecord(text, fileSize, UtcSecondsNow(), record);
}
}  // namespace

std::wstring KeptFilePath(const std::wstring& workDir) { return workDir + L"\\download.partial"; }

CVantorHttp::KeptDownload TakeKeptDownload(const std::wstring& workDir, const char* pszUrl,
                                           const IntegrityExpectation& want, bool bKeyed) {
    CVantorHttp::KeptDownload kept;
    try {
        KeptRecord record;
        const KeptMatch match = JudgeKept(workDir, pszUrl ? pszUrl : "", &want, bKeyed, record);
        if (match == KeptMatch::Match) {
            kept.nHeld = record.nHeld;
            kept.nTotal = static_cast<int64_t>(record.nTotal);
            kept.validator = record.validator;
            LogEvent(
                "kept",
                {{"result", "resume"}, {"held", std::to_string(kept.nHeld)}, {"total", std::to_string(kept.nTotal)}});
            return kept;
        }
        // Only where something was kept: a first download has nothing to say.
        uint64_t size = 0;
        if (PlainFileSize(RecordPath(workDir), size) || PlainFileSize(KeptFilePath(workDir), size))
            LogEvent("kept", {{"result", "discarded"}, {"reason", MatchName(match)}});
    } catch (...) {
    }
    DiscardKeptDownload(workDir);
    return kept;
}

void SaveKeptRecord(const std::wstring& workDir, const char* pszUrl, const IntegrityExpectation& want,
                    const CVantorHttp::KeptDownload& body) {
    try {
        const std::wstring path = RecordPath(workDir), next = NewRecordPath(workDir);
        ::DeleteFileW(next.c_str());
        if (body.validator.empty() || body.nTotal < 0 || !pszUrl) {
            ::DeleteFileW(path.c_str());
            return;
        }
        KeptRecord record;
        record.url = pszUrl;
        record.integrity = want;
        record.validator = body.validator;
        record.nTotal = static_cast<uint64_t>(body.nTotal);
        record.nHeld = body.nHeld;
        record.nSavedAt = UtcSecondsNow();
        const std::string text = SerializeKeptRecord(record);
        bool ok = false;
        {
            CHandle file(
                ::CreateFileW(next.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD put = 0;
            ok = file.IsValid() &&
                 ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
                 put == text.size() && ::FlushFileBuffers(file.Get());
        }
        // Not renewed, the old record stays: it counts fewer bytes, and
        // If-Range still ties them to the file they came from.
        if (!ok || !::MoveFileExW(next.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            ::DeleteFileW(next.c_str());
    } catch (...) {
    }
}

void DiscardKeptDownload(const std::wstring& workDir) {
    // The record first: a partial file without one is never trusted.
    ::DeleteFileW(RecordPath(workDir).c_str());
    ::DeleteFileW(NewRecordPath(workDir).c_str());
    ::DeleteFileW(KeptFilePath(workDir).c_str());
}

std::string KeptDownloadUrl(const std::wstring& workDir) {
    try {
        KeptRecord record;
        return JudgeKept(workDir, nullptr, nullptr, false, record) == KeptMatch::Match ? record.url : std::string();
    } catch (...) {
        return std::string();
    }
}
