// A fixture for the data-model tests: a temporary base folder that the folders point at, a
// captured error log, a recording user port and empty process-wide tables.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "TestSupport.h"
#include "showdata/ListDoc.h"

namespace NorikTest {

// UTF-8 source text to the model's Windows-1251 bytes.
inline std::string W(const std::string& utf8) { return Norik::Utf8ToCp1251(utf8); }

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = m_dir.folder()});
        ShowData::ResetTablesForTests();
    }
    void TearDown() override {
        ShowData::ResetTablesForTests();
        Norik::ConfigureFolders(Norik::FolderSettings{});
    }

    // Writes the table name.ttx, given as UTF-8, in Windows-1251.
    void WriteTable(const std::string& name, const std::string& utf8) { WriteRaw(name, W(utf8)); }
    void WriteRaw(const std::string& name, const std::string& bytes) { WriteFile(m_dir.file(name + ".ttx"), bytes); }

    // Names and types follow the last number of their line directly: a blank there would belong
    // to them.
    // A complete small base: two sections, one with a subsection holding documents.
    //   1 Право (folder) -> 3 Налоги (documents), 4 Труд (documents)
    //   2 Экономика (documents)
    void WriteSmallBase() {
        WriteTable("class",
                   "4\n"
                   "1 0 0 0Право\n"
                   "3 1 1 0Налоги\n"
                   "2 0 1 0Экономика\n"
                   "4 1 1 0Труд|x\n");
        WriteTable("typelist", "Закон\nУказ|old\n\nПостановление\n");
        WriteTable("descript", "1 " + std::to_string(ShowData::MakeDayCode(2007, 3, 5)) + "\n");
        WriteTable("Items",
                   "6\n"
                   "5 3 100Закон|О налогах|12-ФЗ|" +
                       std::to_string(ShowData::MakeDayCode(2005, 1, 1)) +
                       "|1|2\n"
                       "5 2 100Закон|О налогах|12-ФЗ|" +
                       std::to_string(ShowData::MakeDayCode(2005, 1, 1)) +
                       "|1|2\n"
                       "7 3 100Указ|Об отпуске|7|" +
                       std::to_string(ShowData::MakeDayCode(2005, 2, 1)) +
                       "|0|1\n"
                       "9 4 100Закон|О труде|197-ФЗ|" +
                       std::to_string(ShowData::MakeDayCode(2001, 12, 30)) +
                       "|1|1\n"
                       "12 3 100Постановление|О сборах|3|0|1|3\n"
                       "12 4 100Постановление|О сборах|3|0|1|3\n");
    }

    TempDir m_dir;
    ErrorLogCapture m_log;
    RecordingUserPort m_port;
};

}  // namespace NorikTest
