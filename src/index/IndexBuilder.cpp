#include "index/IndexBuilder.h"

#include <algorithm>

#include "diagnostics/ErrorLog.h"

namespace Norik {

void IndexBuilder::Add(IndexSpace::IndexKey key, IndexSpace::DocNumber doc) {
    std::vector<IndexSpace::DocNumber>& list = m_lists[key];
    // Documents usually arrive in order: skip the immediate repeat, sort the rest at Build.
    if (list.empty() || list.back() != doc) list.push_back(doc);
}

HResult IndexBuilder::Build(IndexSpace::IndexImpl::IndexInt& index) const {
    std::vector<IndexSpace::IndexKey> keys;
    keys.reserve(m_lists.size());
    for (const auto& [key, list] : m_lists) keys.push_back(key);
    std::sort(keys.begin(), keys.end());

    index = IndexSpace::IndexImpl::IndexInt();
    std::vector<IndexSpace::DocNumber> sorted;
    for (const IndexSpace::IndexKey key : keys) {
        sorted = m_lists.at(key);
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        if (!index.Append(key, sorted)) {
            index = IndexSpace::IndexImpl::IndexInt();
            return NORIK_REPORT(kFail, "Norik::IndexBuilder::Build");
        }
    }
    return kOk;
}

HResult IndexBuilder::WriteFile(const std::string& path) const {
    IndexSpace::IndexImpl::IndexInt index;
    const HResult built = Build(index);
    if (Failed(built)) return built;
    return index.WriteFile(path);
}

}  // namespace Norik
