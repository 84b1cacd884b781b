// Data model: loading the four text tables of a base of 16,000 documents filed about 100,000 times,
// filling the list of the largest classifier node, counting the documents of every section, and the
// four sorts of a 20,000-row list.
//
//   build-x/DataModelBench [--benchmark_filter=...]
//
// The base is generated into a temporary folder before the benchmarks run. Besides the timings the
// program prints the memory the loaded tables take: the resident-set growth of the first load and
// the bytes the tables themselves hold.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "platform/UserPort.h"
#include "showdata/DocSort.h"
#include "showdata/ListDoc.h"
#include "showdata/SectionCounts.h"

namespace {

constexpr int kDocuments = 16000;
constexpr int kTopSections = 40;
constexpr int kSubsections = 25;    // per top section: 1,000 nodes that hold documents
constexpr int kLargestNode = 1001;  // the first subsection gets a large share of the filings
constexpr int kSortRows = 20000;

// A user port that answers nothing; the benchmarks never open texts or dialogs.
class SilentPort : public Norik::IUserPort {
public:
    Norik::MessageAnswer MessageBox(const std::string& text, const std::string&, Norik::MessageButtons,
                                    Norik::MessageIcon) override {
        std::fprintf(stderr, "unexpected message: %s\n", Norik::Cp1251ToUtf8(text).c_str());
        return Norik::MessageAnswer::Cancel;
    }
    void BeginWait() override {}
    void EndWait() override {}
    bool OpenDocumentText(const std::string&) override { return true; }
    void RunAttributeSearch(ShowData::SearchRequest&, const std::vector<std::int16_t>*) override {}
    void OpenResultListWindow(const std::vector<std::int16_t>&, const ShowData::SearchRequest&) override {}
};

std::string Word(std::mt19937& random) {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> list;
        for (const char* word : {"о",           "порядке",     "налогообложения", "государственной", "регистрации",
                                 "внесении",    "изменений",   "федеральный",     "закон",           "правил",
                                 "утверждении", "организаций", "деятельности",    "отдельные",       "законодательные",
                                 "акты",        "Российской",  "Федерации",       "мерах",           "по",
                                 "обеспечению", "труда",       "охране",          "сборах",          "пошлинах"}) {
            list.push_back(Norik::Utf8ToCp1251(word));
        }
        return list;
    }();
    return words[random() % words.size()];
}

struct GeneratedBase {
    std::filesystem::path folder;
    std::uintmax_t bytes = 0;
    int rows = 0;
};

GeneratedBase WriteBase() {
    GeneratedBase base;
    base.folder = std::filesystem::temp_directory_path() / ("norik-bench-model-" + std::to_string(getpid()));
    std::filesystem::create_directories(base.folder);
    std::mt19937 random(20240601);

    std::string classText;
    int nodes = 0;
    std::string body;
    for (int top = 1; top <= kTopSections; ++top) {
        body += std::to_string(top) + " 0 0 0" + Norik::Utf8ToCp1251("Раздел ") + std::to_string(top) + "\n";
        ++nodes;
    }
    for (int top = 1; top <= kTopSections; ++top) {
        for (int sub = 0; sub < kSubsections; ++sub) {
            const int id = 1000 + (top - 1) * kSubsections + sub + 1;
            body += std::to_string(id) + " " + std::to_string(top) + " 1 0" + Word(random) + " " + Word(random) + "\n";
            ++nodes;
        }
    }
    classText = std::to_string(nodes) + "\n" + body;

    std::vector<std::string> types;
    std::string typeText;
    for (const char* type : {"Федеральный закон", "Указ", "Постановление", "Приказ", "Распоряжение", "Письмо",
                             "Решение", "Определение", "Инструкция", "Положение"}) {
        types.push_back(Norik::Utf8ToCp1251(type));
        typeText += types.back() + "\n";
    }

    std::string items;
    int rows = 0;
    std::uniform_int_distribution<int> filings(1, 11);  // 6 on average
    std::uniform_int_distribution<int> node(1001, 1000 + kTopSections * kSubsections);
    for (int doc = 1; doc <= kDocuments; ++doc) {
        const std::string& type = types[random() % types.size()];
        std::string title;
        const int length = 4 + static_cast<int>(random() % 12);
        for (int w = 0; w < length; ++w) title += (w ? " " : "") + Word(random);
        const std::string numberText = std::to_string(random() % 3000) + "-" + std::to_string(random() % 99);
        const int date =
            ShowData::MakeDayCode(1990 + static_cast<int>(random() % 20), 1 + static_cast<int>(random() % 12),
                                  1 + static_cast<int>(random() % 28));
        const int count = filings(random);
        std::vector<int> under;
        // A third of the documents are filed under the largest node as well.
        if (doc % 3 == 0) under.push_back(kLargestNode);
        while (static_cast<int>(under.size()) < count) under.push_back(node(random));
        for (const int classId : under) {
            items.append(std::to_string(doc)).append(" ").append(std::to_string(classId)).append(" ");
            items.append(std::to_string(date + 30)).append(type).append("|").append(title).append("|");
            items.append(numberText).append("|").append(std::to_string(date)).append("|");
            items.append(std::to_string(doc % 5 != 0)).append("|1\n");
            ++rows;
        }
    }
    items = std::to_string(rows) + "\n" + items;

    auto write = [&base](const std::string& name, const std::string& text) {
        std::ofstream out(base.folder / (name + ".ttx"), std::ios::binary);
        out << text;
        base.bytes += text.size();
    };
    write("class", classText);
    write("typelist", typeText);
    write("descript", "1 " + std::to_string(ShowData::MakeDayCode(2007, 3, 5)) + "\n");
    write("Items", items);
    base.rows = rows;
    return base;
}

GeneratedBase& Base() {
    static GeneratedBase base = WriteBase();
    return base;
}

SilentPort& Port() {
    static SilentPort port;
    return port;
}

long ResidentKiB() {
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    if (!(statm >> pages >> resident)) resident = 0;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void LoadTables() {
    ShowData::ResetTablesForTests();
    ShowData::CShowClass root(Port());
    root.SetParent(0, "");
    benchmark::DoNotOptimize(root.Count());
}

void BM_LoadTables(benchmark::State& state) {
    for (auto _ : state) LoadTables();
    state.counters["rows"] = static_cast<double>(ShowData::GetDocTable().size());
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(ShowData::GetDocTable().size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoadTables)->Unit(benchmark::kMillisecond);

void BM_FillLargestNode(benchmark::State& state) {
    if (ShowData::GetDocTable().empty()) LoadTables();
    int rows = 0;
    for (auto _ : state) {
        ShowData::CShowDoc list(Port());
        list.SetParent(kLargestNode, "-x");
        rows = list.Count();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_FillLargestNode)->Unit(benchmark::kMicrosecond);

// Counting the documents of every section, as the first paint of the classifier's root does.
void BM_CountSections(benchmark::State& state) {
    int count = 0;
    for (auto _ : state) {
        state.PauseTiming();
        LoadTables();
        state.ResumeTiming();
        count = ShowData::SectionDocumentCount(1);
        benchmark::DoNotOptimize(count);
    }
    state.counters["first section"] = count;
}
BENCHMARK(BM_CountSections)->Unit(benchmark::kMillisecond)->Iterations(5);

std::vector<ShowData::DocItem> SortInput() {
    if (ShowData::GetDocTable().empty()) LoadTables();
    // 20,000 rows spread over the table, in newest-first order as a fresh list has them.
    const auto& table = ShowData::GetDocTable();
    std::vector<ShowData::DocItem> rows;
    rows.reserve(kSortRows);
    const std::size_t step = table.size() / kSortRows;
    for (std::size_t i = 0; rows.size() < kSortRows; i += step) rows.push_back(table[i % table.size()]);
    ShowData::SortNewestFirst(rows);
    return rows;
}

void BM_Sort(benchmark::State& state) {
    const auto input = SortInput();
    const int key = static_cast<int>(state.range(0));
    const bool descending = state.range(1) != 0;
    std::vector<ShowData::DocItem> rows;
    for (auto _ : state) {
        state.PauseTiming();
        rows = input;
        state.ResumeTiming();
        ShowData::SortDocRows(rows, key, descending);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetLabel(std::string(key == 0   ? "date"
                               : key == 1 ? "title"
                               : key == 2 ? "type"
                                          : "number") +
                   (descending ? " descending" : ""));
}
BENCHMARK(BM_Sort)->Args({0, 0})->Args({1, 0})->Args({2, 0})->Args({3, 0})->Args({1, 1})->Unit(benchmark::kMillisecond);

void PrintMemory() {
    const auto& base = Base();
    ShowData::ResetTablesForTests();
    const long before = ResidentKiB();
    LoadTables();
    const long after = ResidentKiB();
    const auto& table = ShowData::GetDocTable();
    std::size_t textBytes = 0;
    for (const auto& row : table) textBytes += row.type.size() + row.title.size() + row.numberText.size();
    std::printf("base: %d documents, %zu rows, %zu classifier nodes, %.1f MiB of tables\n", kDocuments, table.size(),
                ShowData::GetClassTable().size(), static_cast<double>(base.bytes) / (1 << 20));
    std::printf(
        "memory of the loaded tables: resident growth %.1f MiB; document table %.1f MiB "
        "(rows of %zu bytes and their shared texts; the texts unshared would be %.1f MiB)\n",
        static_cast<double>(after - before) / 1024, static_cast<double>(ShowData::DocTableMemoryBytes()) / (1 << 20),
        sizeof(ShowData::DocItem), static_cast<double>(textBytes) / (1 << 20));
}

}  // namespace

int main(int argc, char** argv) {
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = Base().folder.string()});
    PrintMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(Base().folder, ignored);
    return 0;
}
