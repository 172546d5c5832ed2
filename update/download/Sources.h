// The sources of one installer download, in the order they are tried.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct DownloadSource {
    std::string url;
    size_t nMirror;  // 1 to 4: which of the manifest's mirrors; 0 for its url
};

// The manifest's url, then its mirrors in order; the source a kept
// download came from (keptUrl) goes first when it is one of them, so that
// its bytes are continued before the others are tried.
std::vector<DownloadSource> OrderSources(const std::string& url, const std::vector<std::string>& mirrors,
                                         const std::string& keptUrl);
