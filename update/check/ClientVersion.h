// The client version, typed once: the update check compares the manifest
// against it and the executable's version resource shows it. Preprocessor
// only, so that the resource compiler reads it too.
#pragma once

#define LUMORA_VERSION_MAJOR 1
#define LUMORA_VERSION_MINOR 1
#define LUMORA_VERSION_PATCH 1
#define LUMORA_VERSION_BUILD 2

#define LUMORA_STRINGIZE_(x) #x
#define LUMORA_STRINGIZE(x) LUMORA_STRINGIZE_(x)
// "1.1.1.2"
#define LUMORA_VERSION_TEXT \
    LUMORA_STRINGIZE(LUMORA_VERSION_MAJOR.LUMORA_VERSION_MINOR.LUMORA_VERSION_PATCH.LUMORA_VERSION_BUILD)
