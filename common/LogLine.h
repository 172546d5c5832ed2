// The grammar of update.log, kept free of Windows headers so that the native
// tests read it. One line per event:
//   <UTC time to the ms>Z <pid> <event> <key>=<value> <key>=<value> ...
// A value is written bare, as it is, when it is non-empty printable ASCII
// without blanks or quotes; otherwise quoted, with \" \\ \n \r \t and \xHH
// (control bytes, and bytes that are not UTF-8) escaped.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct LogTime {
    int year, month, day, hour, minute, second, millisecond;
};

using LogFields = std::vector<std::pair<const char*, std::string>>;

std::string QuoteLogValue(const std::string& value);
// Without the line end.
std::string FormatLogLine(const LogTime& time, unsigned long pid, const char* event, const LogFields& fields);

// scheme://host[:port]/path of a URL: no user name or password, no query
// string, no fragment. Text that is no URL gives "?".
std::string RedactUrl(const std::string& url);
// host[:port] of a URL, without user name or password; empty for text that
// is no URL.
std::string UrlHost(const std::string& url);
// A proxy list as WinHTTP names it ("http=a:8080;https=b:8443"), without
// any user name or password an entry carries ("user:pw@a:8080" -> "a:8080").
std::string RedactProxyList(const std::string& list);
// A path under one of the named folders, written from that folder's name
// on ("%TEMP%\LumoraTV\temp\setup.exe"): the folder itself names the user.
// Folders are tried in order and compared without regard to case; each ends
// without a separator. Other paths are returned whole.
std::string RedactPath(const std::string& path, const std::vector<std::pair<std::string, std::string>>& folders);

// The symbolic name of a WinHTTP or system error code ("ERROR_WINHTTP_TIMEOUT"),
// or an empty text for one this table does not know.
const char* ErrorCodeName(unsigned long code);

// Whether appending a line of nLine bytes to a log of nSize bytes would pass
// the bound, so the log must first be renamed.
constexpr uint64_t kLogMaxBytes = 256 * 1024;
inline bool LogNeedsRotation(uint64_t nSize, uint64_t nLine) { return nSize > 0 && nSize + nLine > kLogMaxBytes; }

// Every event update.log can hold, in the order a run meets them; the
// README's table of events lists exactly these. The writer writes no other.
inline constexpr const char* kLogEvents[] = {"start",   "manifest", "manifest-read", "trust", "decision",
                                             "show",    "user",     "download",      "kept",  "source",
                                             "attempt", "verify",   "launch",        "exit"};
bool IsLogEvent(const char* event);
