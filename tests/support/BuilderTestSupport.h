// A base source held in memory, and a small hand-made one, for the builder tests.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Helpers/Cp1251.h"
#include "builder/BaseSource.h"

namespace NorikTest {

class MemorySource : public Norik::BaseSource {
public:
    std::map<std::string, std::string> tables;  // "class.ttx" -> bytes
    std::map<std::string, std::string> texts;   // "000001.rtf" -> bytes

    std::string Describe(const std::string& name) const override { return name; }
    bool ReadTable(const std::string& name, std::string& bytes, std::string& message) const override {
        const auto it = tables.find(name);
        if (it == tables.end()) {
            message = name + ": cannot be read";
            return false;
        }
        bytes = it->second;
        return true;
    }
    std::vector<std::string> TextNames() const override {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : texts) names.push_back(name);
        return names;
    }
    bool ReadText(const std::string& fileName, std::string& bytes, std::string& message) const override {
        const auto it = texts.find(fileName);
        if (it == texts.end()) {
            message = fileName + ": cannot be read";
            return false;
        }
        bytes = it->second;
        return true;
    }
};

inline std::string W(const std::string& utf8) { return Norik::Utf8ToCp1251(utf8); }

inline std::string Rtf(const std::string& utf8Body) {
    std::string body;
    for (const char c : W(utf8Body)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\'%02x", byte);
            body += hex;
        } else {
            body += c;
        }
    }
    return "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}}\\pard\\f0 " + body +
           "\\par\r\n}";
}

// Three documents in two sections of a two-level classifier; document 2 is filed twice.
inline MemorySource SmallSource() {
    MemorySource source;
    source.tables["descript.ttx"] = "1\n" + std::to_string((2007 - 1900) * 372 + 2 * 31 + 4) + "\n";
    source.tables["class.ttx"] = W("3\n1 0 0 0Налоги и сборы\n2 1 1 0Федеральные налоги\n3 1 1 0Местные налоги\n");
    source.tables["typelist.ttx"] = W("Федеральный закон\nПисьмо\n");
    const int date = (2004 - 1900) * 372 + 6 * 31;  // 1 July 2004
    source.tables["Items.ttx"] = W(
        "4\n"
        "1 2 " +
        std::to_string(date + 5) + " Федеральный закон|О налоге на добавленную стоимость|117-ФЗ|" +
        std::to_string(date) +
        "|1|1\n"
        "2 2 " +
        std::to_string(date + 6) + " Письмо|По вопросу уплаты земельного налога|03-05/12|" + std::to_string(date + 1) +
        "|0|1\n"
        "2 3 " +
        std::to_string(date + 6) + " Письмо|По вопросу уплаты земельного налога|03-05/12|" + std::to_string(date + 1) +
        "|0|1\n"
        "5 3 " +
        std::to_string(date + 7) + " Федеральный закон|О местных сборах|12-ФЗ|" + std::to_string(date) + "|1|1\n");
    source.texts["000001.rtf"] = Rtf("Статья 1. Налогоплательщики налога на добавленную стоимость");
    source.texts["000002.rtf"] = Rtf("Земельный налог уплачивается по месту нахождения участка");
    source.texts["000005.rtf"] = Rtf("Местные сборы устанавливаются представительными органами");
    return source;
}

}  // namespace NorikTest

namespace NorikTest {
inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}
}  // namespace NorikTest
