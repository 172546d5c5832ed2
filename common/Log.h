// update.log in the product folder: a small, bounded, private record of
// every check and download for support to read. Writing it never changes
// what the updater does: a log that cannot be written is skipped silently.
#pragma once

#include <string>

#include "common/LogLine.h"

// The folder the log goes into, once it is known to be the user's alone.
// Lines logged before then are held (a few dozen) and written at once;
// without a folder they are never written.
void SetLogFolder(const std::wstring& folder);

// One line, appended whole in a single write. Any thread.
void LogEvent(const char* event, const LogFields& fields = {});

// Values as the log writes them: UTF-8, with the temporary folder and the
// user's profile folder written by name, and a URL without credentials,
// query string or fragment.
std::string LogPath(const std::wstring& path);
std::string LogUrl(const std::wstring& url);
// error=<code> and, when known, error_name=<name>.
void AddErrorFields(LogFields& fields, unsigned long code);
