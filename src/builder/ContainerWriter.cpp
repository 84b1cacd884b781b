#include "builder/ContainerWriter.h"

#include <gsf/gsf.h>
#include <lzma.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace Norik {

namespace {

struct LzmaStream {
    lzma_stream stream = LZMA_STREAM_INIT;
    ~LzmaStream() { lzma_end(&stream); }
};

std::uint32_t DictionaryFor(std::size_t size, std::uint32_t presetDictionary) {
    std::uint32_t dictionary = LZMA_DICT_SIZE_MIN;
    while (dictionary < size && dictionary < presetDictionary) dictionary <<= 1;
    return std::min(dictionary, presetDictionary);
}

}  // namespace

std::string CompressEntry(std::string_view data, int preset) {
    if (data.size() >= 0x80000000u) throw std::runtime_error("entry of 2 GiB or more");
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, static_cast<std::uint32_t>(preset)))
        throw std::runtime_error("unknown LZMA preset");
    options.dict_size = DictionaryFor(data.size(), options.dict_size);

    LzmaStream lzma;
    if (lzma_alone_encoder(&lzma.stream, &options) != LZMA_OK) throw std::runtime_error("LZMA encoder cannot start");
    std::string out;
    out.resize(data.size() + data.size() / 3 + 1024);
    lzma.stream.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
    lzma.stream.avail_in = data.size();
    lzma.stream.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    lzma.stream.avail_out = out.size();
    for (;;) {
        const lzma_ret ret = lzma_code(&lzma.stream, LZMA_FINISH);
        if (ret == LZMA_STREAM_END) break;
        if (ret != LZMA_OK) throw std::runtime_error("LZMA encoder failed");
        if (lzma.stream.avail_out == 0) {
            const std::size_t used = out.size();
            out.resize(used * 2);
            lzma.stream.next_out = reinterpret_cast<std::uint8_t*>(out.data()) + used;
            lzma.stream.avail_out = out.size() - used;
        }
    }
    out.resize(lzma.stream.total_out);
    // The encoder writes "unknown length" into the header; readers deliver exactly the stated
    // length, so the header carries the real one.
    std::uint64_t length = data.size();
    for (int i = 0; i < 8; ++i) {
        out[5 + i] = static_cast<char>(length & 0xFF);
        length >>= 8;
    }
    return out;
}

ContainerWriter::ContainerWriter() { gsf_init(); }

ContainerWriter::~ContainerWriter() { Release(); }

void ContainerWriter::Release() {
    if (m_outfile != nullptr) {
        if (!gsf_output_is_closed(GSF_OUTPUT(m_outfile))) gsf_output_close(GSF_OUTPUT(m_outfile));
        g_object_unref(m_outfile);
        m_outfile = nullptr;
    }
    if (m_sink != nullptr) {
        if (!gsf_output_is_closed(m_sink)) gsf_output_close(m_sink);
        g_object_unref(m_sink);
        m_sink = nullptr;
    }
}

bool ContainerWriter::Create(const std::string& path, std::string& message) {
    Release();
    m_path = path;
    GError* error = nullptr;
    m_sink = gsf_output_stdio_new(path.c_str(), &error);
    if (m_sink == nullptr) {
        message = path + ": " + (error != nullptr ? error->message : "cannot be created");
        if (error != nullptr) g_error_free(error);
        return false;
    }
    m_outfile = gsf_outfile_msole_new(m_sink);
    if (m_outfile == nullptr) {
        message = path + ": cannot start the compound file";
        Release();
        return false;
    }
    return true;
}

bool ContainerWriter::AddEntry(const std::string& name, std::string_view entryBytes, std::string& message) {
    if (m_outfile == nullptr) {
        message = m_path + ": container is not open";
        return false;
    }
    const std::string streamName = name + ".t";
    GsfOutput* child = gsf_outfile_new_child(m_outfile, streamName.c_str(), FALSE);
    if (child == nullptr) {
        message = m_path + ": cannot add stream " + streamName;
        return false;
    }
    bool ok = true;
    std::size_t at = 0;
    // libgsf writes in pieces; keep each call bounded.
    while (ok && at < entryBytes.size()) {
        const std::size_t n = std::min<std::size_t>(entryBytes.size() - at, 1 << 20);
        ok = gsf_output_write(child, n, reinterpret_cast<const guint8*>(entryBytes.data() + at)) != FALSE;
        at += n;
    }
    ok = gsf_output_close(child) != FALSE && ok;
    g_object_unref(child);
    if (!ok) message = m_path + ": cannot write stream " + streamName;
    return ok;
}

bool ContainerWriter::Close(std::string& message) {
    if (m_outfile == nullptr) {
        message = m_path + ": container is not open";
        return false;
    }
    bool ok = gsf_output_close(GSF_OUTPUT(m_outfile)) != FALSE;
    // Closing the compound file may close its sink as well.
    if (!gsf_output_is_closed(m_sink)) ok = gsf_output_close(m_sink) != FALSE && ok;
    Release();
    if (!ok) message = m_path + ": cannot finish the compound file";
    return ok;
}

}  // namespace Norik
