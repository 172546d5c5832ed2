// The installer download kept in the work folder across runs: the partial
// file and the record beside it (KeptRecord.h). The names are fixed, so
// at most one download is ever kept.
#pragma once

#include <string>

#include "CVantorHttp.h"
#include "update/manifest/Integrity.h"

// The partial file: "<work folder>\download.partial".
std::wstring KeptFilePath(const std::wstring& workDir);

// What a download of pszUrl expecting want may continue from. A kept
// download that does not match, is too old, cannot be read or counts more
// than its file holds is deleted (both files), and nothing is held.
// bKeyed: the build has a publisher key.
CVantorHttp::KeptDownload TakeKeptDownload(const std::wstring& workDir, const char* pszUrl,
                                           const IntegrityExpectation& want, bool bKeyed);

// Rewrites the record for bytes already flushed to the partial file: a
// temporary file, flushed, renamed over the old record, so that the record
// on the disk is always whole. Deletes it when the bytes cannot be resumed
// (no validator or no length).
void SaveKeptRecord(const std::wstring& workDir, const char* pszUrl, const IntegrityExpectation& want,
                    const CVantorHttp::KeptDownload& body);

// Deletes the partial file and its record.
void DiscardKeptDownload(const std::wstring& workDir);

// The source a kept download came from, when its record is readable, young
// enough and counts no more than the file holds; empty otherwise. A
// download that tries several sources starts with this one, or the kept
// bytes are thrown away.
std::string KeptDownloadUrl(const std::wstring& workDir);
