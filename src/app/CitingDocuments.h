// Where the viewer learns which documents cite a document: the reverse links of the texts, kept
// with the full-text index. Plain data; user-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Norik {

struct CitingAnswer {
    enum class State {
        Ready,     // numbers holds the citing documents (possibly none)
        NotReady,  // no index of the links is there yet
        Failed,    // the index could not answer; error says why
    };
    State state = State::NotReady;
    std::vector<std::int16_t> numbers;
    std::string error;
};

// The documents whose texts link to a document number, ascending.
using CitingDocuments = std::function<CitingAnswer(std::int16_t number)>;

}  // namespace Norik
