// Classifying the command-line arguments of the update client.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum : size_t { kArgBufferSize = 260, kTargetSize = 1024, kMaxExaminedArgs = 3 };

enum class ArgKind { Prompt, TestUpdate, Target, Ignored };

struct CommandLineOptions {
    bool bPrompt = false;
    bool bTestUpdate = false;
    std::string target;  // the last URL or existing path given
};

// How arguments are probed: pfnExists answers whether a path names an
// existing file or folder; pfnIsUrl whether the text names a download
// (IsUrlTarget: the rule of update/check/Target.h on the wide form).
struct ArgProbe {
    bool (*pfnExists)(const char* pszPath) = nullptr;
    bool (*pfnIsUrl)(const char* pszText) = nullptr;
};

// One argument, already converted to narrow text. Exact, case-sensitive
// switches; a URL (pfnIsUrl); else an existing path. An argument longer
// than 259 bytes is ignored: cut short it could name another file or
// another download.
ArgKind ClassifyArgument(const std::string& arg, const ArgProbe& probe);

// Arguments after the program name; at most the first three are examined.
// Without bAcceptTarget (a build that carries the publisher's key) targets
// are ignored: such a build starts only what a signed manifest names, or it
// would start anything a link or a script passes it.
CommandLineOptions ParseArguments(const std::vector<std::string>& args, const ArgProbe& probe,
                                  bool bAcceptTarget = true);
