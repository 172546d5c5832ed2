#include "update/download/Sources.h"

#include <algorithm>

std::vector<DownloadSource> OrderSources(const std::string& url, const std::vector<std::string>& mirrors,
                                         const std::string& keptUrl) {
    std::vector<std::string> order(1, url);
    order.insert(order.end(), mirrors.begin(), mirrors.end());
    const auto kept = std::find(order.begin(), order.end(), keptUrl);
    if (kept != order.end()) std::rotate(order.begin(), kept, kept + 1);
    std::vector<DownloadSource> sources;
    for (const std::string& source : order) {
        const auto mirror = std::find(mirrors.begin(), mirrors.end(), source);
        const bool bMirror = source != url && mirror != mirrors.end();
        sources.push_back({source, bMirror ? static_cast<size_t>(mirror - mirrors.begin()) + 1 : 0});
    }
    return sources;
}
