// Composition of the sample base's titles, number texts and RichEdit-style RTF texts.
//
// Everything is Windows-1251 and derived only from the vocabulary, the document table and the
// random stream handed in, so the same inputs give the same bytes. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sample/SampleRandom.h"
#include "sample/Vocabulary.h"

namespace Norik {

struct SampleDocument;
struct DocumentSubject;

// A number text from a form: "#" a running number (1 to 4 digits), "9" one digit, others as is.
std::string ComposeNumberText(const std::string& form, SampleRandom& random);

// A title that reads like the title of a document of this type about the topic; subject, when
// given, receives the action the title names, for the text to keep to.
std::string ComposeTitle(const Vocabulary& vocabulary, const DocumentType& type, const Topic& topic,
                         SampleRandom& random, DocumentSubject* subject = nullptr);

// The RTF text of documents[index], about its target size, with links to other documents; terms,
// when given, are listed in a paragraph of their own before the signature.
std::string ComposeDocumentRtf(const Vocabulary& vocabulary, const std::vector<SampleDocument>& documents,
                               std::size_t index, SampleRandom& random, const std::vector<std::string>& terms = {});

// Text as RTF: "\", "{" and "}" escaped, bytes from 0x80 on as \'hh (lower-case hex).
std::string RtfEscape(std::string_view text);

// A small PNG picture (width x height, 8-bit RGB), deterministic for its seed.
std::string MakeSamplePng(int width, int height, std::uint64_t seed);

}  // namespace Norik
