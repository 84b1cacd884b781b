#include "fulltext/BaseDocuments.h"

#include <algorithm>
#include <stdexcept>

#include "Helpers/Cp1251.h"
#include "Helpers/FileBytes.h"
#include "Helpers/Folders.h"
#include "Helpers/SFile.h"
#include "Helpers/SUn7zFile.h"
#include "showdata/ListDoc.h"

namespace Norik::FullText {

BaseIdentity IdentityOfLoadedBase() {
    std::string why;
    return {ShowData::BaseDate(), BaseKey(GetTablePath("Items"), GetDataFolder() + "Norik.sdb", why)};
}

namespace {

// What is reserved at most for a text ahead of its bytes.
constexpr std::size_t kMaxReserve = std::size_t{64} << 20;

// The container at path, kept open by the calling thread while the file there stays the same
// (its FileStamp), so that a thread reading many texts reads the
// container's tables once; nothing when it cannot be opened (the caller opens it itself and says
// why). A build's threads end with the build, and their containers with them.
std::shared_ptr<CompoundFile> KeptContainer(const std::string& path) {
    struct Kept {
        std::string path;
        FileStamp stamp;
        std::shared_ptr<CompoundFile> file;
    };
    thread_local Kept kept;
    const std::optional<FileStamp> stamp = FileStampOf(path);
    if (!stamp) return nullptr;
    if (kept.file && kept.path == path && kept.stamp == *stamp) return kept.file;
    kept = {};
    std::shared_ptr<CompoundFile> file;
    if (Failed(CompoundFile::Open(path, file))) return nullptr;
    kept = {path, *stamp, file};
    return file;
}

}  // namespace

std::vector<DocumentFields> DocumentsOfLoadedBase() {
    std::vector<DocumentFields> documents;
    std::vector<bool> seen(0x10000, false);
    for (const ShowData::DocItem& row : ShowData::GetDocTable()) {
        const auto slot = static_cast<std::uint16_t>(row.number);
        if (seen[slot]) continue;
        seen[slot] = true;
        std::string_view type = row.type;
        while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
        documents.push_back({row.number, Cp1251ToUtf8(row.title), Cp1251ToUtf8(type), Cp1251ToUtf8(row.numberText),
                             row.dateOfIntroduction, row.inForce});
    }
    return documents;
}

std::optional<DocumentText> ContainerDocumentText(const std::string& containerPath, std::int16_t number,
                                                  std::string& problem) {
    const std::string entry = ShowData::DocFileName(number);
    std::shared_ptr<CompoundFile> container = KeptContainer(containerPath);
    SUn7zFile reader = container ? SUn7zFile(containerPath, std::move(container)) : SUn7zFile(containerPath);
    std::string rtf;
    try {
        if (Failed(reader.Open(entry, kModeRead, true))) {
            problem = reader.damage().empty() ? "entry " + entry + ".t cannot be opened" : reader.damage();
            return std::nullopt;
        }
        // The stated length may lie: it is reserved only up to a bound, the bytes grow as they come.
        rtf.reserve(std::min<std::size_t>(reader.length(), kMaxReserve));
        std::vector<char> buffer(std::size_t{1} << 16);
        for (int got; (got = reader.Read(buffer.data(), static_cast<int>(buffer.size()))) > 0;)
            rtf.append(buffer.data(), static_cast<std::size_t>(got));
    } catch (const std::exception& e) {
        problem = "entry " + entry + ".t has a malformed header: " + Cp1251ToUtf8(e.what());
        return std::nullopt;
    }
    if (!reader.whole()) {
        problem = reader.damage();
        return std::nullopt;
    }
    return ReadDocumentText(rtf);
}

}  // namespace Norik::FullText
