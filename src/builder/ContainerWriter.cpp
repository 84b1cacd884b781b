#include "builder/ContainerWriter.h"

#include <dlfcn.h>
#include <gsf/gsf.h>
#include <lzma.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

namespace Norik {

namespace {

// libgsf is loaded when the first container is written, not with the program: it brings GLib,
// GIO and libxml2 along, whose loading would cost every run of norik-tool (and the viewer) some
// milliseconds, while only building a base writes a container. The header gives the types; the
// build gives the shared object's name (NORIK_GSF_LIBRARY).
struct GsfFunctions {
    decltype(&gsf_init) init = nullptr;
    decltype(&gsf_output_stdio_new) outputStdioNew = nullptr;
    decltype(&gsf_outfile_msole_new) outfileMsoleNew = nullptr;
    decltype(&gsf_outfile_new_child) outfileNewChild = nullptr;
    decltype(&gsf_output_write) outputWrite = nullptr;
    decltype(&gsf_output_close) outputClose = nullptr;
    decltype(&gsf_output_is_closed) outputIsClosed = nullptr;
    decltype(&g_object_unref) objectUnref = nullptr;
    decltype(&g_error_free) errorFree = nullptr;
};

// The functions, loaded and initialised once; null with problem set when that failed.
const GsfFunctions* Gsf(std::string& problem) {
    static const std::pair<GsfFunctions, std::string> loaded = [] {
        std::pair<GsfFunctions, std::string> result;
        void* library = ::dlopen(NORIK_GSF_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* error = ::dlerror();
            result.second = error != nullptr ? error : NORIK_GSF_LIBRARY " cannot be loaded";
            return result;
        }
        // The GLib functions come from the libraries libgsf itself loaded.
        const auto bind = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library, name));
            if (function == nullptr && result.second.empty())
                result.second = std::string(NORIK_GSF_LIBRARY " lacks ") + name;
        };
        GsfFunctions& f = result.first;
        bind(f.init, "gsf_init");
        bind(f.outputStdioNew, "gsf_output_stdio_new");
        bind(f.outfileMsoleNew, "gsf_outfile_msole_new");
        bind(f.outfileNewChild, "gsf_outfile_new_child");
        bind(f.outputWrite, "gsf_output_write");
        bind(f.outputClose, "gsf_output_close");
        bind(f.outputIsClosed, "gsf_output_is_closed");
        bind(f.objectUnref, "g_object_unref");
        bind(f.errorFree, "g_error_free");
        if (result.second.empty()) f.init();
        return result;
    }();
    if (!loaded.second.empty()) {
        problem = loaded.second;
        return nullptr;
    }
    return &loaded.first;
}

// A compound file is an output too: its structure begins with the output's.
GsfOutput* AsOutput(GsfOutfile* outfile) { return reinterpret_cast<GsfOutput*>(outfile); }

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
    if (lzma_lzma_preset(&options, static_cast<std::uint32_t>(preset))) throw std::runtime_error("unknown LZMA preset");
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

ContainerWriter::ContainerWriter() = default;

ContainerWriter::~ContainerWriter() { Release(); }

void ContainerWriter::Release() {
    // Objects exist only once libgsf was loaded.
    std::string unused;
    const GsfFunctions* gsf = m_outfile != nullptr || m_sink != nullptr ? Gsf(unused) : nullptr;
    if (m_outfile != nullptr) {
        if (!gsf->outputIsClosed(AsOutput(m_outfile))) gsf->outputClose(AsOutput(m_outfile));
        gsf->objectUnref(m_outfile);
        m_outfile = nullptr;
    }
    if (m_sink != nullptr) {
        if (!gsf->outputIsClosed(m_sink)) gsf->outputClose(m_sink);
        gsf->objectUnref(m_sink);
        m_sink = nullptr;
    }
}

bool ContainerWriter::Create(const std::string& path, std::string& message) {
    Release();
    m_path = path;
    std::string problem;
    const GsfFunctions* gsf = Gsf(problem);
    if (gsf == nullptr) {
        message = path + ": cannot be written: " + problem;
        return false;
    }
    GError* error = nullptr;
    m_sink = gsf->outputStdioNew(path.c_str(), &error);
    if (m_sink == nullptr) {
        message = path + ": " + (error != nullptr ? error->message : "cannot be created");
        if (error != nullptr) gsf->errorFree(error);
        return false;
    }
    m_outfile = gsf->outfileMsoleNew(m_sink);
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
    std::string unused;
    const GsfFunctions* gsf = Gsf(unused);
    const std::string streamName = name + ".t";
    GsfOutput* child = gsf->outfileNewChild(m_outfile, streamName.c_str(), FALSE);
    if (child == nullptr) {
        message = m_path + ": cannot add stream " + streamName;
        return false;
    }
    bool ok = true;
    std::size_t at = 0;
    // libgsf writes in pieces; keep each call bounded.
    while (ok && at < entryBytes.size()) {
        const std::size_t n = std::min<std::size_t>(entryBytes.size() - at, 1 << 20);
        ok = gsf->outputWrite(child, n, reinterpret_cast<const guint8*>(entryBytes.data() + at)) != FALSE;
        at += n;
    }
    ok = gsf->outputClose(child) != FALSE && ok;
    gsf->objectUnref(child);
    if (!ok) message = m_path + ": cannot write stream " + streamName;
    return ok;
}

bool ContainerWriter::Close(std::string& message) {
    if (m_outfile == nullptr) {
        message = m_path + ": container is not open";
        return false;
    }
    std::string unused;
    const GsfFunctions* gsf = Gsf(unused);
    bool ok = gsf->outputClose(AsOutput(m_outfile)) != FALSE;
    // Closing the compound file may close its sink as well.
    if (!gsf->outputIsClosed(m_sink)) ok = gsf->outputClose(m_sink) != FALSE && ok;
    Release();
    if (!ok) message = m_path + ": cannot finish the compound file";
    return ok;
}

}  // namespace Norik
