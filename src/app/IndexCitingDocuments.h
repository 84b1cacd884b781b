// The citing documents from the base's full-text index: the base's own index ("fulltext/" beside
// its tables) when it is current, else the one the viewer keeps for the base in the user's cache.
// The index is opened at the first question and kept for the run; an index found absent is looked
// for again at the next question, one that cannot answer is logged and said. User-interface
// thread only (the searcher belongs to the thread that opened it).
#pragma once

#include <filesystem>
#include <memory>

#include "app/CitingDocuments.h"

namespace Norik {

namespace FullText {
class Searcher;
}

class IndexCitingDocuments {
public:
    // baseFolder holds the base's tables.
    explicit IndexCitingDocuments(std::filesystem::path baseFolder);
    ~IndexCitingDocuments();

    CitingAnswer operator()(std::int16_t number);

private:
    std::filesystem::path m_baseFolder;
    std::shared_ptr<FullText::Searcher> m_searcher;
};

}  // namespace Norik
