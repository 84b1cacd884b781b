// libFuzzer target for the RTF reader: the input is read whole and again in small chunks, into
// the plain-text output and into a recording output that asks for picture data; both must agree.
// The outline found on the way has its entries in order, within the text, with bounded titles.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "richtext/DocumentOutline.h"
#include "richtext/PlainText.h"
#include "richtext/RtfReader.h"

namespace {

class PictureSink : public Norik::IRtfOutput {
public:
    void Text(std::string_view utf8, const Norik::CharFormat&) override { m_bytes += utf8.size(); }
    void ParagraphEnd(const Norik::ParagraphFormat&) override {}
    bool WantsPictureData() const override { return true; }
    void Picture(const Norik::PictureInfo& info, std::string_view data) override {
        m_bytes += data.size();
        if (info.displayWidth() < 0 || info.displayWidth() > Norik::kMaxPictureTwips) std::abort();
    }
    std::size_t m_bytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string whole = Norik::RtfToPlainText(input);

    Norik::PlainTextExtractor extractor;
    std::string chunked;
    const std::size_t step = size > 0 ? (data[0] % 7) + 1 : 1;
    for (std::size_t i = 0; i < size; i += step) {
        extractor.Feed(input.substr(i, step));
        chunked += extractor.TakeText();
    }
    extractor.Finish();
    chunked += extractor.TakeText();
    if (chunked != whole) std::abort();

    PictureSink sink;
    Norik::DocumentOutlineFinder finder(&sink, {});
    Norik::ReadRtf(input, finder);
    int previous = 0;
    for (const Norik::OutlineEntry& entry : finder.Take()) {
        if (entry.position < previous || entry.title.size() > Norik::kMaxOutlineTitleBytes || entry.depth < 0)
            std::abort();
        previous = entry.position;
    }
    // Output stays within a small multiple of the input.
    if (whole.size() > size * 4 + 16 || sink.m_bytes > size * 4 + 16) std::abort();
    return 0;
}
