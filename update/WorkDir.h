// The per-user work folder (under the temporary path) that holds the fetched
// manifest and the downloaded installer, and the executable's own folder.
#pragma once

#include <string>

enum : size_t { kWorkDirSize = 520, kModulePathSize = 10240 };

extern char g_szWorkDir[kWorkDirSize];

// "<temp>\LumoraTV\temp" without trailing separator, created on first use
// and cached. Empty when the temporary path is too long to form it.
const char* GetWorkDir();
// The executable's folder with its trailing separator; empty if its path
// is 10240 bytes or longer.
std::wstring GetModuleDir();
