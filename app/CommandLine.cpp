#include "app/CommandLine.h"

#include <cstring>

ArgKind ClassifyArgument(const std::string& arg, const ArgProbe& probe) {
    if (arg.size() >= kArgBufferSize) return ArgKind::Ignored;
    // Compared as C text: an argument holding a zero byte ends there.
    const char* psz = arg.c_str();
    if (std::strcmp(psz, "-prompt") == 0) return ArgKind::Prompt;
    if (std::strcmp(psz, "-test_update") == 0) return ArgKind::TestUpdate;
    if (probe.pfnIsUrl && probe.pfnIsUrl(psz)) return ArgKind::Target;
    if (probe.pfnExists && probe.pfnExists(psz)) return ArgKind::Target;
    return ArgKind::Ignored;
}

CommandLineOptions ParseArguments(const std::vector<std::string>& args, const ArgProbe& probe, bool bAcceptTarget) {
    CommandLineOptions options;
    size_t nCount = args.size() < kMaxExaminedArgs ? args.size() : kMaxExaminedArgs;
    for (size_t i = 0; i < nCount; ++i) {
        switch (ClassifyArgument(args[i], probe)) {
        case ArgKind::Prompt: options.bPrompt = true; break;
        case ArgKind::TestUpdate: options.bTestUpdate = true; break;
        case ArgKind::Target:
            if (bAcceptTarget) options.target = args[i].c_str();
            break;
        case ArgKind::Ignored: break;
        }
    }
    return options;
}
