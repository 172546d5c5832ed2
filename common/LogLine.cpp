#include "common/LogLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/Utf8.h"

namespace {
// Characters that a reader of the log may take for a line break (NEL, the
// line and paragraph separators) or that turn the text's direction, so that
// a value could pass for other lines or other fields.
bool BreaksOrTurnsLines(uint32_t cp) {
    return cp == 0x85 || cp == 0x2028 || cp == 0x2029 || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

bool IsBare(const std::string& v) {
    if (v.empty()) return false;
    for (unsigned char c : v)
        if (c <= 0x20 || c >= 0x7F || c == '"') return false;
    return true;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(prefix[i]);
        const bool sepA = a == '\\' || a == '/', sepB = b == '\\' || b == '/';
        if (sepA != sepB || (!sepA && std::tolower(a) != std::tolower(b))) return false;
    }
    return true;
}
}  // namespace

std::string QuoteLogValue(const std::string& value) {
    if (IsBare(value)) return value;
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(value.data());
    const size_t n = value.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        char hex[12];
        uint32_t cp = 0;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += static_cast<char>(c);
            } else if (const size_t len = c >= 0x80 ? Utf8SequenceLength(p + i, n - i, &cp) : 0) {
                if (BreaksOrTurnsLines(cp)) {
                    std::snprintf(hex, sizeof hex, "\\u{%04X}", static_cast<unsigned>(cp));
                    out += hex;
                } else {
                    out.append(value, i, len);
                }
                i += len;
                continue;
            } else {
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            }
        }
        ++i;
    }
    return out + "\"";
}

std::string FormatLogLine(const LogTime& t, unsigned long pid, const char* event, const LogFields& fields) {
    char head[64];
    std::snprintf(head, sizeof head, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ %lu ", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.millisecond, pid);
    std::string line = head;
    line += event;
    for (const auto& f : fields) {
        line += ' ';
        line += f.first;
        line += '=';
        line += QuoteLogValue(f.second);
    }
    return line;
}

namespace {
// A URL's scheme, host[:port] without user info, and path without query
// or fragment ("/" when empty); false for text that is no URL.
bool SplitUrl(const std::string& url, std::string& scheme, std::string& host, std::string& path) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) return false;
    const size_t authStart = schemeEnd + 3;
    const size_t authEnd = std::min(url.find_first_of("/?#", authStart), url.size());
    host = url.substr(authStart, authEnd - authStart);
    const size_t at = host.rfind('@');
    if (at != std::string::npos) host.erase(0, at + 1);
    const size_t pathEnd = std::min(url.find_first_of("?#", authEnd), url.size());
    path = url.substr(authEnd, pathEnd - authEnd);
    if (path.empty()) path = "/";
    scheme = url.substr(0, schemeEnd);
    return true;
}
}  // namespace

std::string RedactUrl(const std::string& url) {
    std::string scheme, host, path;
    return SplitUrl(url, scheme, host, path) ? scheme + "://" + host + path : "?";
}

std::string UrlHost(const std::string& url) {
    std::string scheme, host, path;
    return SplitUrl(url, scheme, host, path) ? host : std::string();
}

std::string RedactProxyList(const std::string& list) {
    std::string out;
    size_t i = 0;
    while (i <= list.size()) {
        const size_t end = std::min(list.find_first_of("; ", i), list.size());
        std::string entry = list.substr(i, end - i);
        const size_t at = entry.rfind('@');
        if (at != std::string::npos) {
            // Keep a "scheme=" or "scheme://" in front of the credentials.
            const size_t eq = entry.find('=');
            const size_t slashes = entry.find("://");
            size_t keep = 0;
            if (slashes != std::string::npos && slashes < at)
                keep = slashes + 3;
            else if (eq != std::string::npos && eq < at)
                keep = eq + 1;
            entry = entry.substr(0, keep) + entry.substr(at + 1);
        }
        out += entry;
        if (end < list.size()) out += list[end];
        i = end + 1;
    }
    return out;
}

std::string RedactPath(const std::string& path, const std::vector<std::pair<std::string, std::string>>& folders) {
    for (const auto& f : folders) {
        if (f.first.empty() || !StartsWithNoCase(path, f.first)) continue;
        const size_t rest = f.first.size();
        // Only at a separator: C:\Users\bo is no folder of C:\Users\bob.
        if (rest < path.size() && path[rest] != '\\' && path[rest] != '/') continue;
        // "<temp>\\LumoraTV": the doubled separator is written once.
        size_t from = rest;
        while (from < path.size() && (path[from] == '\\' || path[from] == '/')) ++from;
        return from == path.size() ? f.second : f.second + '\\' + path.substr(from);
    }
    return path;
}

const char* ErrorCodeName(unsigned long code) {
    struct Name {
        unsigned long code;
        const char* name;
    };
    static const Name kNames[] = {
        {2, "ERROR_FILE_NOT_FOUND"},
        {5, "ERROR_ACCESS_DENIED"},
        {8, "ERROR_NOT_ENOUGH_MEMORY"},
        {32, "ERROR_SHARING_VIOLATION"},
        {112, "ERROR_DISK_FULL"},
        {10053, "WSAECONNABORTED"},
        {10054, "WSAECONNRESET"},
        {10060, "WSAETIMEDOUT"},
        {10061, "WSAECONNREFUSED"},
        {10065, "WSAEHOSTUNREACH"},
        {12001, "ERROR_WINHTTP_OUT_OF_HANDLES"},
        {12002, "ERROR_WINHTTP_TIMEOUT"},
        {12004, "ERROR_WINHTTP_INTERNAL_ERROR"},
        {12005, "ERROR_WINHTTP_INVALID_URL"},
        {12006, "ERROR_WINHTTP_UNRECOGNIZED_SCHEME"},
        {12007, "ERROR_WINHTTP_NAME_NOT_RESOLVED"},
        {12015, "ERROR_WINHTTP_LOGIN_FAILURE"},
        {12017, "ERROR_WINHTTP_OPERATION_CANCELLED"},
        {12029, "ERROR_WINHTTP_CANNOT_CONNECT"},
        {12030, "ERROR_WINHTTP_CONNECTION_ERROR"},
        {12037, "ERROR_WINHTTP_SECURE_CERT_DATE_INVALID"},
        {12038, "ERROR_WINHTTP_SECURE_CERT_CN_INVALID"},
        {12044, "ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED"},
        {12045, "ERROR_WINHTTP_SECURE_INVALID_CA"},
        {12057, "ERROR_WINHTTP_SECURE_CERT_REV_FAILED"},
        {12152, "ERROR_WINHTTP_INVALID_SERVER_RESPONSE"},
        {12156, "ERROR_WINHTTP_REDIRECT_FAILED"},
        {12157, "ERROR_WINHTTP_SECURE_CHANNEL_ERROR"},
        {12166, "ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT"},
        {12167, "ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT"},
        {12169, "ERROR_WINHTTP_SECURE_INVALID_CERT"},
        {12170, "ERROR_WINHTTP_SECURE_CERT_REVOKED"},
        {12175, "ERROR_WINHTTP_SECURE_FAILURE"},
        {12178, "ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR"},
        {12180, "ERROR_WINHTTP_AUTODETECTION_FAILED"},
    };
    for (const Name& n : kNames)
        if (n.code == code) return n.name;
    return "";
}

bool IsLogEvent(const char* event) {
    for (const char* name : kLogEvents)
        if (event && std::strcmp(event, name) == 0) return true;
    return false;
}
