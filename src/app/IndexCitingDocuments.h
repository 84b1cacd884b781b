// The citing documents from the base's full-text index: the index the quick search prepared (the
// base's own when current, else the one the viewer keeps in the user's cache), once it is ready -
// it is checked off the window's thread there, so that asking here never waits for a check. The
// index is opened at the first question and kept for the run; an index not ready yet is asked for
// again at the next question, one that cannot answer is logged and said. User-interface thread
// only (the searcher belongs to the thread that opened it).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "app/CitingDocuments.h"

namespace Norik {

namespace FullText {
class Searcher;
}

class IndexCitingDocuments {
public:
    // readyIndex: the folder of the index once it is ready, else empty.
    explicit IndexCitingDocuments(std::function<std::filesystem::path()> readyIndex);
    ~IndexCitingDocuments();

    CitingAnswer operator()(std::int16_t number);

private:
    std::function<std::filesystem::path()> m_readyIndex;
    std::shared_ptr<FullText::Searcher> m_searcher;
};

}  // namespace Norik
