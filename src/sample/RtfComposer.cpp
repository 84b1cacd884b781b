#include "sample/RtfComposer.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "Helpers/Cp1251.h"
#include "sample/SampleBase.h"
#include "showdata/DayCode.h"

namespace Norik {

namespace {

std::string W(std::string_view utf8) { return Utf8ToCp1251(utf8); }

bool Contains(const std::string& text, std::string_view utf8) { return text.find(W(utf8)) != std::string::npos; }

enum class Kind { Law, Code, Act, Letter, Court };

Kind KindOf(const DocumentType& type) {
    if (Contains(type.name, "Кодекс")) return Kind::Code;
    if (Contains(type.name, "акон")) return Kind::Law;
    if (Contains(type.name, "Письмо") || Contains(type.name, "письмо") || Contains(type.name, "Разъяснение"))
        return Kind::Letter;
    if (Contains(type.name, "Суд") || Contains(type.name, "Пленума") || Contains(type.name, "Решение") ||
        Contains(type.issuer, "Суд"))
        return Kind::Court;
    return Kind::Act;
}

std::string Capitalize(std::string text) {
    if (!text.empty()) text[0] = UpperCp1251(text.substr(0, 1))[0];
    return text;
}

// "в" becomes "во" before в or ф and a consonant: во взыскании, в выдаче.
std::string In(const std::string& phrase) {
    static const std::string vowels = W("аеёиоуыэюяАЕЁИОУЫЭЮЯ");
    static const std::string labial = W("вфВФ");
    const bool hard =
        phrase.size() > 1 && labial.find(phrase[0]) != std::string::npos && vowels.find(phrase[1]) == std::string::npos;
    return W(hard ? "во " : "в ") + phrase;
}

// "О" becomes "Об" before a vowel sound: а, и, о, у, э, ы (е, ё, ю, я begin with a consonant sound:
// "о единовременном").
std::string About(const std::string& phrase) {
    static const std::string vowels = W("аиоуэыАИОУЭЫ");
    const bool vowel = !phrase.empty() && vowels.find(phrase[0]) != std::string::npos;
    return W(vowel ? "Об " : "О ") + phrase;
}
// The same inside a sentence.
std::string about(const std::string& phrase) {
    std::string text = About(phrase);
    text[0] = W("о")[0];
    return text;
}

bool EndsWith(const std::string& text, std::string_view utf8Suffix) {
    const std::string suffix = W(utf8Suffix);
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The form of a past-tense verb that agrees with the type name, judged by its first word:
// Указ утратил, Постановление утратило, Инструкция утратила, Методические рекомендации утратили.
std::string AgreeingPast(const std::string& typeName, std::string_view masculineUtf8) {
    const std::string first = typeName.substr(0, typeName.find(' '));
    std::string stem = W(masculineUtf8);
    // A plural adjective first (Методические, Нормативные); a noun in -ие is neuter (Постановление).
    if (EndsWith(first, "ые") || EndsWith(first, "кие")) return stem + W("и");
    if (EndsWith(first, "ие") || EndsWith(first, "ое") || EndsWith(first, "о")) return stem + W("о");
    if (EndsWith(first, "я") || EndsWith(first, "а")) return stem + W("а");
    return stem;
}

// The type name's first word is word (Указ, not Указание).
bool FirstWordIs(const std::string& typeName, std::string_view utf8Word) {
    return typeName.substr(0, typeName.find(' ')) == W(utf8Word);
}

// "дня" after a number ending in 1 (but not 11), else "дней": the genitive after "в течение".
std::string DaysGenitive(int n) { return std::to_string(n) + (n % 10 == 1 && n % 100 != 11 ? W(" дня") : W(" дней")); }
// The accusative after "составляет": 1 календарный день, 2 календарных дня, 5 календарных дней.
std::string CalendarDaysAccusative(int n) {
    const int last = n % 10, lastTwo = n % 100;
    if (last == 1 && lastTwo != 11) return std::to_string(n) + W(" календарный день");
    if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) return std::to_string(n) + W(" календарных дня");
    return std::to_string(n) + W(" календарных дней");
}

// The genitive after "в размере": 1 процента, 2 процентов, 21 процента.
std::string Percent(int n) {
    const int last = n % 10, lastTwo = n % 100;
    if (last == 1 && lastTwo != 11) return std::to_string(n) + W(" процента");
    return std::to_string(n) + W(" процентов");
}

// An action of the topic: a verb and an object of a kind it takes.
struct Action {
    const Verb* verb = nullptr;
    const Phrase* object = nullptr;
    ObjectKind kind = ObjectKind::Document;
    bool plural = false;
};

// Sentences of legal prose about one topic: who acts (authorities, parties), what they do (verbs)
// and to what (the topic's documents, contracts, payments, property and rights), so that the
// subject, the verb and the object of a sentence fit each other.
class Prose {
public:
    Prose(const Vocabulary& vocabulary, const Topic& topic, SampleRandom& random)
        : m_v(vocabulary), m_t(topic), m_r(random), m_law(topic.lawInstrumental) {
        for (std::size_t i = 0; i < vocabulary.verbs.size(); ++i)
            for (int k = 0; k < kObjectKindCount; ++k) {
                const Verb& verb = vocabulary.verbs[i];
                if (!verb.Takes(static_cast<ObjectKind>(k)) || topic.objects[static_cast<std::size_t>(k)].empty())
                    continue;
                for (int r = 0; r < kRoleCount; ++r)
                    if (verb.Takes(static_cast<Role>(r))) m_pairs[static_cast<std::size_t>(r)].emplace_back(i, k);
                m_anyPairs.emplace_back(i, k);
            }
    }

    const Topic& topic() const { return m_t; }
    // The act that governs what the sentences say, in the instrumental: the topic's law, or the
    // document itself when it is that law ("настоящим Федеральным законом").
    void SetGoverningAct(std::string instrumental) { m_law = std::move(instrumental); }

    // Titles name only what belongs to the topic (no bare заявление).
    void SetOwnObjectsOnly(bool own) { m_ownOnly = own; }
    // The action the document is about: some later actions come back to its object.
    void SetSubject(const DocumentSubject& subject) {
        if (subject.verb < 0 || static_cast<std::size_t>(subject.verb) >= m_v.verbs.size() || subject.kind < 0 ||
            subject.kind >= kObjectKindCount)
            return;
        const auto& objects = m_t.objects[static_cast<std::size_t>(subject.kind)];
        if (subject.object < 0 || static_cast<std::size_t>(subject.object) >= objects.size()) return;
        m_subject.verb = &m_v.verbs[static_cast<std::size_t>(subject.verb)];
        m_subject.kind = static_cast<ObjectKind>(subject.kind);
        m_subject.object = &objects[static_cast<std::size_t>(subject.object)];
        m_subject.plural = subject.plural;
        m_hasSubject = true;
    }
    bool HasSubject() const { return m_hasSubject; }
    const Action& Subject() const { return m_subject; }
    // The last action chosen, as indexes.
    DocumentSubject LastAsSubject() const {
        DocumentSubject subject;
        if (m_last.verb == nullptr) return subject;
        subject.verb = static_cast<int>(m_last.verb - m_v.verbs.data());
        subject.kind = static_cast<int>(m_last.kind);
        subject.object = static_cast<int>(m_last.object - m_t.objects[static_cast<std::size_t>(m_last.kind)].data());
        subject.plural = m_last.plural;
        return subject;
    }
    void ForgetLast() { m_last = Action{}; }

    // An action whose verb suits the role; any role when role is null.
    Action PickAction(const Role* role = nullptr) {
        if (m_hasSubject && m_r.Chance(0.3)) {
            // Back to the subject: another verb on the same object.
            std::vector<std::size_t> verbs;
            for (const auto& [verb, kind] : m_anyPairs)
                if (kind == static_cast<int>(m_subject.kind) && (role == nullptr || m_v.verbs[verb].Takes(*role)))
                    verbs.push_back(verb);
            if (!verbs.empty()) {
                Action action = m_subject;
                action.verb = &m_v.verbs[m_r.Pick(verbs)];
                return action;
            }
        }
        const auto& pairs = role != nullptr && !m_pairs[static_cast<std::size_t>(*role)].empty()
                                ? m_pairs[static_cast<std::size_t>(*role)]
                                : m_anyPairs;
        const auto [verb, kind] = m_r.Pick(pairs);
        return MakeAction(verb, static_cast<ObjectKind>(kind));
    }
    // An action on an object of this kind, when the topic has one.
    bool PickActionOn(ObjectKind kind, Action& action) {
        std::vector<std::size_t> verbs;
        for (const auto& [verb, k] : m_anyPairs)
            if (k == static_cast<int>(kind)) verbs.push_back(verb);
        if (verbs.empty()) return false;
        action = MakeAction(m_r.Pick(verbs), kind);
        return true;
    }
    bool Has(ObjectKind kind) const { return !m_t.objects[static_cast<std::size_t>(kind)].empty(); }
    const Phrase& Object(ObjectKind kind) { return m_r.Pick(m_t.objects[static_cast<std::size_t>(kind)]); }
    const Phrase& Actor(Role role) { return m_r.Pick(m_t.actors[static_cast<std::size_t>(role)]); }
    std::string Form(const Phrase& phrase, Case c, bool plural = false) const {
        return m_v.PhraseForm(phrase, c, plural);
    }

    // "уплата налога на имущество организаций": the action noun in case c, the object in the genitive.
    std::string ActionPhrase(const Action& action, Case c) const {
        return m_v.nouns[static_cast<std::size_t>(action.verb->action)].Form(c, false) + " " +
               Form(*action.object, Case::Genitive, action.plural);
    }
    std::string ActionPhrase(Case c) { return ActionPhrase(PickAction(), c); }

    // A circumstance that fits the action; an opening one names only the act that governs it.
    std::string Circumstance(const Action& action, bool opening = false) {
        for (;;) {
            const std::uint64_t choice = m_r.Below(9);
            if (opening && choice != 0 && choice != 1 && choice != 8) continue;
            switch (choice) {
                case 0:
                    return W("в порядке, установленном ") + Authority();
                case 1:
                    return W("в соответствии с ") + m_law;
                case 2:
                    if (action.kind != ObjectKind::Document) break;
                    return W("в течение ") + DaysGenitive(m_r.Between(3, 30)) + W(" со дня ") + Pronoun(action) + " " +
                           W(m_r.Chance(0.5) ? "получения" : "поступления");
                case 3: {
                    const Phrase& basis = Object(ObjectKind::Document);
                    if (&basis == action.object) break;
                    return W("на основании ") + Form(basis, Case::Genitive);
                }
                case 4:
                    if (action.kind != ObjectKind::Deal && action.kind != ObjectKind::Thing &&
                        action.kind != ObjectKind::Right)
                        break;
                    return W("по согласованию с ") + Form(Actor(Role::Authority), Case::Instrumental);
                case 5:
                    // Paid out of a budget.
                    if (action.kind != ObjectKind::Benefit || !action.verb->Takes(Role::Authority)) break;
                    return W(m_r.Chance(0.5) ? "за счет средств федерального бюджета"
                                             : "за счет средств бюджета субъекта Российской Федерации");
                case 6:
                    if (action.kind != ObjectKind::Payment) break;
                    return W("не позднее ") + std::to_string(m_r.Between(1, 28)) +
                           W("-го числа месяца, следующего за истекшим месяцем");
                case 7:
                    if (action.kind != ObjectKind::Document && action.kind != ObjectKind::Issued) break;
                    return W(m_r.Chance(0.5) ? "в электронной форме" : "на бумажном носителе");
                default:
                    return W("в случаях, предусмотренных ") + m_law;
            }
        }
    }

    std::string Sentence() {
        std::string s;
        Action action;
        switch (m_r.Below(9)) {
            case 0:
            case 1: {
                // Who does what to what.
                const Role role = m_r.Chance(0.5) ? Role::Authority : Role::Party;
                action = PickAction(&role);
                const Phrase& actor = Actor(role);
                const bool plural = role == Role::Party && m_r.Chance(0.3);
                s = Form(actor, Case::Nominative, plural) + " " + (plural ? action.verb->plural : action.verb->active) +
                    " " + Form(*action.object, Case::Accusative, action.plural) + " " + Circumstance(action);
                break;
            }
            case 2: {
                action = PickAction();
                s = Form(*action.object, Case::Nominative, action.plural) + " " +
                    (action.plural ? PluralPassive(*action.verb) : action.verb->passive) + " " + Circumstance(action);
                break;
            }
            case 3: {
                // A duty or a right of the actor.
                const Role role = m_r.Chance(0.5) ? Role::Authority : Role::Party;
                action = PickAction(&role);
                const Phrase& actor = Actor(role);
                // Acquiring or using property or a right is a party's right, never its duty.
                const bool optional =
                    role == Role::Party && (action.kind == ObjectKind::Right || action.kind == ObjectKind::Thing);
                const bool duty = !optional && m_r.Chance(0.6);
                s = Form(actor, Case::Nominative) + " " + (duty ? Obliged(actor) : W("вправе")) + " " +
                    action.verb->infinitive + " " + Form(*action.object, Case::Accusative, action.plural) + " " +
                    Circumstance(action);
                break;
            }
            case 4:
                if (PickActionOn(m_r.Chance(0.5) ? ObjectKind::Payment : ObjectKind::Benefit, action)) {
                    const std::string payment = Form(*action.object, Case::Genitive);
                    switch (m_r.Below(3)) {
                        case 0:
                            s = W("Размер ") + payment + W(" не может превышать ") +
                                std::to_string(m_r.Between(1, 500) * 100) + W(" рублей");
                            break;
                        case 1:
                            if (action.object->rate) {
                                s = W("Ставка ") + payment + W(" устанавливается в размере ") +
                                    Percent(m_r.Between(1, 30));
                                break;
                            }
                            [[fallthrough]];
                        default:
                            s = Capitalize(Form(*action.object, Case::Nominative)) + " " + action.verb->passive +
                                W(" в размере ") + std::to_string(m_r.Between(2, 900) * 50) + W(" рублей");
                            break;
                    }
                    break;
                }
                [[fallthrough]];
            case 5:
                action = PickAction();
                s = W("Срок ") + ActionPhrase(action, Case::Genitive) + W(" составляет ") +
                    CalendarDaysAccusative(m_r.Between(2, 60));
                break;
            case 6:
                action = PickAction();
                s = ActionPhrase(action, Case::Nominative) + W(" осуществляется ") + Circumstance(action);
                break;
            case 7: {
                // A party answers for what it had to do.
                const Role party = Role::Party;
                action = PickAction(&party);
                s = W("За нарушение срока ") + ActionPhrase(action, Case::Genitive) + " " +
                    Form(Actor(Role::Party), Case::Nominative) + W(" несет ответственность в соответствии с ") + m_law;
                break;
            }
            default: {
                // An opening circumstance, then the passive with its doer.
                const Role role = Role::Authority;
                action = PickAction(&role);
                std::string opening = Circumstance(action, true);
                // A participial clause inside the opening ("в порядке, установленном ...") is closed by a comma.
                if (opening.find(',') != std::string::npos) opening += ",";
                s = opening + " " + Form(*action.object, Case::Nominative, action.plural) + " " +
                    (action.plural ? PluralPassive(*action.verb) : action.verb->passive) + " " +
                    Form(Actor(Role::Authority), Case::Instrumental);
                break;
            }
        }
        return Capitalize(s) + ".";
    }

    // A heading of an article or a chapter.
    std::string Heading() {
        Action action;
        switch (m_r.Below(6)) {
            case 0:
                return W("Порядок ") + ActionPhrase(Case::Genitive);
            case 1:
                return W("Сроки ") + ActionPhrase(Case::Genitive);
            case 2:
                return W("Права и обязанности ") + Form(Actor(Role::Party), Case::Genitive, true);
            case 3:
                return W("Ответственность за нарушение порядка ") + ActionPhrase(Case::Genitive);
            case 4:
                if (PickActionOn(m_r.Chance(0.5) ? ObjectKind::Payment : ObjectKind::Benefit, action))
                    return W("Размер ") + Form(*action.object, Case::Genitive);
                [[fallthrough]];
            default:
                return Capitalize(ActionPhrase(Case::Nominative));
        }
    }

    // "обязан", "обязана", "обязано" by the gender of the actor's noun.
    std::string Obliged(const Phrase& actor) const {
        const Noun& noun = m_v.nouns[static_cast<std::size_t>(actor.noun)];
        return W(noun.gender == Gender::Masculine ? "обязан" : noun.gender == Gender::Feminine ? "обязана" : "обязано");
    }
    // "его", "ее" or "их": the object of the action as a pronoun.
    std::string Pronoun(const Action& action) const {
        if (action.plural) return W("их");
        return W(m_v.nouns[static_cast<std::size_t>(action.object->noun)].gender == Gender::Feminine ? "ее" : "его");
    }

private:
    Action MakeAction(std::size_t verb, ObjectKind kind) {
        Action action;
        action.verb = &m_v.verbs[verb];
        action.kind = kind;
        action.object = &Object(kind);
        for (int tries = 0; m_ownOnly && action.object->common && tries < 8; ++tries) action.object = &Object(kind);
        // Documents, contracts and property are handled by the piece as well as one at a time.
        const bool countable = kind == ObjectKind::Document || kind == ObjectKind::Deal || kind == ObjectKind::Thing ||
                               kind == ObjectKind::Issued;
        action.plural = countable && !m_v.nouns[static_cast<std::size_t>(action.object->noun)].singularOnly &&
                        action.object->tail.empty() && m_r.Chance(0.3);
        m_last = action;
        return action;
    }
    std::string Authority() {
        switch (m_r.Below(3)) {
            case 0:
                return m_law;
            case 1:
                return W("Правительством Российской Федерации");
            default:
                return W("законодательством Российской Федерации");
        }
    }
    static std::string PluralPassive(const Verb& verb) {
        std::string text = verb.passive;
        // -ется / -ится become -ются / -ятся.
        const std::string ending = text.substr(text.size() - 4);
        if (ending == W("ется")) return text.substr(0, text.size() - 4) + W("ются");
        if (ending == W("ится")) return text.substr(0, text.size() - 4) + W("ятся");
        return text;
    }

    const Vocabulary& m_v;
    const Topic& m_t;
    SampleRandom& m_r;
    std::array<std::vector<std::pair<std::size_t, int>>, kRoleCount> m_pairs;
    std::vector<std::pair<std::size_t, int>> m_anyPairs;
    std::string m_law;
    bool m_ownOnly = false;
    bool m_hasSubject = false;
    Action m_subject;
    Action m_last;
};

const char* const kMonthsGenitive[12] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                                         "июля",   "августа", "сентября", "октября", "ноября", "декабря"};

std::string LongDate(std::int32_t code) {
    return std::to_string(ShowData::DayOfCode(code)) + " " + W(kMonthsGenitive[ShowData::MonthOfCode(code) - 1]) + " " +
           std::to_string(ShowData::YearOfCode(code)) + W(" г.");
}
std::string ShortDate(std::int32_t code) {
    char text[40];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", ShowData::DayOfCode(code), ShowData::MonthOfCode(code),
                  ShowData::YearOfCode(code));
    return text;
}

std::string RomanNumeral(int n) {
    static const std::pair<int, const char*> digits[] = {{10, "X"}, {9, "IX"}, {5, "V"}, {4, "IV"}, {1, "I"}};
    std::string text;
    for (const auto& [value, letters] : digits)
        while (n >= value) {
            text += letters;
            n -= value;
        }
    return text;
}

// RichEdit's way of writing paragraphs, runs, links, tables and pictures.
class RtfDocument {
public:
    RtfDocument() {
        m_out =
            "{\\rtf1\\ansi\\ansicpg1251\\deff0\\nouicompat\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 Times New "
            "Roman;}{\\f1\\fswiss\\fcharset204 Arial;}}\r\n{\\colortbl ;\\red0\\green0\\blue255;}\r\n"
            "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n";
    }
    std::size_t size() const { return m_out.size(); }

    // align: 'l', 'c', 'r', 'j'.
    void Paragraph(const std::string& text, char align, bool bold, int firstIndent = 0) {
        Begin(align, firstIndent);
        if (bold) m_out += "\\b ";
        m_out += RtfEscape(text);
        if (bold) m_out += "\\b0";
        End();
    }
    void Begin(char align, int firstIndent = 0) {
        m_out += "\\pard";
        if (firstIndent != 0) m_out += "\\fi" + std::to_string(firstIndent);
        m_out += "\\sa120\\q";
        m_out += align;
        m_out += "\\f0\\fs24 ";
    }
    void Run(const std::string& text) { m_out += RtfEscape(text); }
    void Link(int number, const std::string& text) {
        m_out += "{\\field{\\*\\fldinst{HYPERLINK \"" + std::to_string(number) + "\" }}{\\fldrslt{\\ul\\cf1 " +
                 RtfEscape(text) + "}}}\\f0\\fs24 ";
    }
    void End() { m_out += "\\par\r\n"; }

    void Table(const std::vector<std::vector<std::string>>& rows, const std::vector<int>& widths) {
        for (std::size_t r = 0; r < rows.size(); ++r) {
            m_out += "\\trowd\\trgaph108\\trleft-108";
            int edge = 0;
            for (const int width : widths) {
                edge += width;
                m_out +=
                    "\\clbrdrl\\brdrw10\\brdrs\\clbrdrt\\brdrw10\\brdrs\\clbrdrr\\brdrw10\\brdrs\\clbrdrb\\brdrw10\\brd"
                    "rs "
                    "\\cellx" +
                    std::to_string(edge);
            }
            m_out += "\r\n\\pard\\intbl\\f0\\fs22 ";
            for (const std::string& cell : rows[r]) {
                if (r == 0) m_out += "\\b ";
                m_out += RtfEscape(cell);
                if (r == 0) m_out += "\\b0";
                m_out += "\\cell ";
            }
            m_out += "\\row\r\n";
        }
        m_out += "\\pard\\f0\\fs24\r\n";
    }

    void Picture(const std::string& png, int width, int height) {
        static const char* hex = "0123456789abcdef";
        m_out += "\\pard\\qc{\\pict{\\*\\picprop}\\pngblip\\picw" + std::to_string(width) + "\\pich" +
                 std::to_string(height) + "\\picwgoal" + std::to_string(width * 15) + "\\pichgoal" +
                 std::to_string(height * 15) + "\r\n";
        for (std::size_t i = 0; i < png.size(); ++i) {
            const auto byte = static_cast<unsigned char>(png[i]);
            m_out += hex[byte >> 4];
            m_out += hex[byte & 15];
            if (i % 64 == 63) m_out += "\r\n";
        }
        m_out += "}\\par\r\n";
    }

    std::string Finish() {
        m_out += "}\r\n";
        return std::move(m_out);
    }

private:
    std::string m_out;
};

// The act after "настоящего" (genitive) or "настоящим" (instrumental): "Федерального закона", "Кодексом".
std::string ActName(const DocumentType& type, Case c = Case::Genitive) {
    const bool genitive = c == Case::Genitive;
    if (KindOf(type) == Kind::Code) return W(genitive ? "Кодекса" : "Кодексом");
    if (Contains(type.name, "конституционный"))
        return W(genitive ? "Федерального конституционного закона" : "Федеральным конституционным законом");
    if (Contains(type.name, "Федеральный")) return W(genitive ? "Федерального закона" : "Федеральным законом");
    return W(genitive ? "Закона" : "Законом");
}

// The person who signs documents of this type: the one whose sign is the longest part of the type's
// name and issuer, else one who signs no particular type.
const Signatory& SignatoryOf(const Vocabulary& vocabulary, const DocumentType& type, SampleRandom& random) {
    const std::string text = type.name + " " + type.issuer;
    std::vector<std::size_t> best;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < vocabulary.signatories.size(); ++i) {
        std::size_t length = 0;
        for (const std::string& sign : vocabulary.signatories[i].signs)
            if (text.find(sign) != std::string::npos) length = std::max(length, sign.size());
        if (vocabulary.signatories[i].signs.empty()) length = 0;
        if (length > bestLength) best.clear(), bestLength = length;
        if (length == bestLength && (length > 0 || vocabulary.signatories[i].signs.empty())) best.push_back(i);
    }
    if (best.empty()) return random.Pick(vocabulary.signatories);
    return vocabulary.signatories[best[random.Below(best.size())]];
}

std::string LinkText(const Vocabulary& vocabulary, const SampleDocument& doc) {
    const DocumentType& type = vocabulary.types[static_cast<std::size_t>(doc.typeIndex)];
    std::string text = type.name;
    if (!type.issuer.empty()) text += " " + type.issuer;
    return text + W(" от ") + ShortDate(doc.dateOfIntroduction) + " N " + doc.numberText + W(" «") + doc.title + W("»");
}

std::uint32_t Crc32(const std::string& bytes, std::size_t from) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

}  // namespace

std::string RtfEscape(std::string_view text) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += c;
        } else if (byte >= 0x80) {
            out += "\\'";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else if (c == '\n') {
            out += "\\line ";
        } else {
            out += c;
        }
    }
    return out;
}

std::string MakeSamplePng(int width, int height, std::uint64_t seed) {
    SampleRandom random(seed, 0x504E47);
    const int r0 = random.Between(40, 200), g0 = random.Between(40, 200), b0 = random.Between(40, 200);
    // Raw scanlines: a filter byte 0, then RGB pixels of a ringed emblem.
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            const int dx = 2 * x - width + 1, dy = 2 * y - height + 1;
            const int ring = (dx * dx + dy * dy) * 8 / (width * width + 1);
            const bool on = ring % 2 == 0;
            raw += static_cast<char>(on ? r0 : 255);
            raw += static_cast<char>(on ? g0 : 255 - ring * 8);
            raw += static_cast<char>(on ? b0 : 255);
        }
    }
    // zlib stream of stored deflate blocks.
    std::string z = "\x78\x01";
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n >= raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(n & 0xFF);
        z += static_cast<char>(n >> 8);
        z += static_cast<char>(~n & 0xFF);
        z += static_cast<char>((~n >> 8) & 0xFF);
        z.append(raw, at, n);
        if (last) break;
    }
    std::uint32_t a = 1, b = 0;
    for (const char c : raw) {
        a = (a + static_cast<unsigned char>(c)) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(z, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    const auto chunk = [&png](const char* type, const std::string& data) {
        PutBigEndian(png, static_cast<std::uint32_t>(data.size()));
        const std::size_t start = png.size();
        png += type;
        png += data;
        PutBigEndian(png, Crc32(png, start));
    };
    std::string header;
    PutBigEndian(header, static_cast<std::uint32_t>(width));
    PutBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    chunk("IHDR", header);
    chunk("IDAT", z);
    chunk("IEND", "");
    return png;
}

std::string ComposeNumberText(const std::string& form, SampleRandom& random) {
    std::string text;
    for (const char c : form) {
        if (c == '#') {
            const int digits = random.Chance(0.5) ? 3 : random.Between(1, 4);
            int limit = 1;
            for (int k = 0; k < digits; ++k) limit *= 10;
            text += std::to_string(random.Between(1, limit - 1));
        } else if (c == '9') {
            text += static_cast<char>('0' + random.Below(10));
        } else {
            text += c;
        }
    }
    return text;
}

std::string ComposeTitle(const Vocabulary& vocabulary, const DocumentType& type, const Topic& topic,
                         SampleRandom& random, DocumentSubject* subject) {
    Prose prose(vocabulary, topic, random);
    prose.SetOwnObjectsOnly(true);
    const Role authority = Role::Authority;
    std::string title;
    switch (KindOf(type)) {
        case Kind::Code: {
            prose.ForgetLast();
            static const char* const codes[] = {"Гражданский",       "Налоговый", "Трудовой", "Земельный",
                                                "Жилищный",          "Бюджетный", "Лесной",   "Водный",
                                                "Градостроительный", "Семейный"};
            title = !topic.code.empty() ? topic.code
                                        : W(codes[random.Below(std::size(codes))]) + W(" кодекс Российской Федерации");
            // Only the civil and the tax code come in parts.
            if ((Contains(title, "Гражданский") || Contains(title, "Налоговый")) && random.Chance(0.6))
                title += W(" (часть ") + W(random.Chance(0.5) ? "первая)" : "вторая)");
            break;
        }
        case Kind::Law:
            switch (random.Below(5)) {
                case 0:
                    title = W("О внесении изменений в отдельные законодательные акты Российской Федерации в части ") +
                            prose.ActionPhrase(Case::Genitive);
                    break;
                case 1:
                    title = W("О внесении изменений в статью ") + std::to_string(random.Between(1, 90)) + " " +
                            topic.lawGenitive;
                    break;
                case 2: {
                    const ObjectKind kind = random.Chance(0.6)
                                                ? (random.Chance(0.5) ? ObjectKind::Payment : ObjectKind::Benefit)
                                                : ObjectKind::Right;
                    if (prose.Has(kind)) {
                        title = About(prose.Form(prose.Object(kind), Case::Prepositional));
                        prose.ForgetLast();
                        break;
                    }
                    [[fallthrough]];
                }
                default:
                    title = About(prose.ActionPhrase(Case::Prepositional));
                    break;
            }
            break;
        case Kind::Letter:
            switch (random.Below(3)) {
                case 0:
                    title = W("По вопросу ") + prose.ActionPhrase(Case::Genitive);
                    break;
                case 1:
                    title = W("О порядке ") + prose.ActionPhrase(Case::Genitive);
                    break;
                default:
                    title = About(prose.ActionPhrase(Case::Prepositional));
                    break;
            }
            break;
        case Kind::Court:
            if (Contains(type.name, "Пленума")) {
                title = random.Chance(0.5)
                            ? W("О практике применения судами ") + topic.lawGenitive
                            : W("О некоторых вопросах, возникающих у судов при применении ") + topic.lawGenitive;
            } else if (Contains(type.name, "Конституционного")) {
                title = random.Chance(0.5)
                            ? W("По делу о проверке конституционности положений статьи ") +
                                  std::to_string(random.Between(1, 90)) + " " + topic.lawGenitive
                            : W("Об отказе в принятии к рассмотрению жалобы на нарушение конституционных прав "
                                "положениями статьи ") +
                                  std::to_string(random.Between(1, 90)) + " " + topic.lawGenitive;
            } else {
                title = W("О признании недействующим пункта ") + std::to_string(random.Between(1, 40)) +
                        W(" Порядка ") + prose.ActionPhrase(Case::Genitive);
            }
            break;
        case Kind::Act:
            switch (random.Below(8)) {
                case 0:
                    title = W("Об утверждении Порядка ") + prose.ActionPhrase(Case::Genitive);
                    break;
                case 1:
                    title = W("Об утверждении Правил ") + prose.ActionPhrase(Case::Genitive);
                    break;
                case 2:
                    title = W("Об утверждении Положения ") + about(prose.ActionPhrase(Case::Prepositional));
                    break;
                case 3: {
                    const ObjectKind kind =
                        prose.Has(ObjectKind::Issued) && random.Chance(0.5) ? ObjectKind::Issued : ObjectKind::Document;
                    const Phrase* document = &prose.Object(kind);
                    for (int tries = 0; document->common && tries < 8; ++tries) document = &prose.Object(kind);
                    title = W("Об утверждении формы ") + prose.Form(*document, Case::Genitive) +
                            W(" и порядка ее заполнения");
                    prose.ForgetLast();
                    break;
                }
                case 4: {
                    // A public service issues, grants, registers or awards something.
                    static const char* const services[] = {"выдача", "предоставление", "регистрация", "назначение"};
                    Action action = prose.PickAction(&authority);
                    for (int tries = 0; tries < 16; ++tries) {
                        const std::string& noun = vocabulary.nouns[static_cast<std::size_t>(action.verb->action)].lemma;
                        if (std::any_of(std::begin(services), std::end(services),
                                        [&](const char* s) { return noun == W(s); }))
                            break;
                        action = prose.PickAction(&authority);
                    }
                    title = W("Об утверждении Административного регламента предоставления государственной услуги по ") +
                            prose.ActionPhrase(action, Case::Dative);
                    break;
                }
                case 5:
                    title = W("О внесении изменений в Порядок ") + prose.ActionPhrase(Case::Genitive);
                    break;
                case 6:
                    title = W("О мерах по совершенствованию порядка ") + prose.ActionPhrase(Case::Genitive);
                    break;
                default:
                    title = W("О порядке ") + prose.ActionPhrase(Case::Genitive);
                    break;
            }
            break;
    }
    if (subject != nullptr) *subject = prose.LastAsSubject();
    return title;
}

std::string ComposeDocumentRtf(const Vocabulary& vocabulary, const std::vector<SampleDocument>& documents,
                               std::size_t index, SampleRandom& random, const std::vector<std::string>& terms) {
    const SampleDocument& doc = documents[index];
    const DocumentType& type = vocabulary.types[static_cast<std::size_t>(doc.typeIndex)];
    const Kind kind = KindOf(type);
    Prose prose(vocabulary, vocabulary.topics[static_cast<std::size_t>(doc.topic)], random);
    prose.SetSubject(doc.subject);
    // The opening names what the title names, when it names an action.
    const auto mainAction = [&](Case c) {
        return prose.HasSubject() ? prose.ActionPhrase(prose.Subject(), c) : prose.ActionPhrase(c);
    };
    RtfDocument rtf;

    const auto anotherDocument = [&]() -> const SampleDocument& {
        if (documents.size() == 1) return doc;
        std::size_t j = random.Below(documents.size() - 1);
        if (j >= index) ++j;
        return documents[j];
    };
    const auto paragraphWithLink = [&]() {
        const SampleDocument& target = anotherDocument();
        rtf.Begin('j', 540);
        rtf.Run(W("См. также: "));
        rtf.Link(target.number, LinkText(vocabulary, target));
        rtf.Run(".");
        rtf.End();
    };
    const auto part = [&](const std::string& label) {
        std::string text = label.empty() ? "" : label + " ";
        const int sentences = random.Between(1, 3);
        for (int k = 0; k < sentences; ++k) text += (k ? " " : "") + prose.Sentence();
        rtf.Paragraph(text, 'j', false, 540);
        if (random.Chance(0.05)) paragraphWithLink();
    };
    // Distinct phrases of a kind, in a random order, at most count of them.
    const auto someOf = [&](ObjectKind kind, int count) {
        std::vector<const Phrase*> phrases;
        for (const Phrase& phrase : prose.topic().objects[static_cast<std::size_t>(kind)]) phrases.push_back(&phrase);
        for (std::size_t k = phrases.size(); k > 1; --k) std::swap(phrases[k - 1], phrases[random.Below(k)]);
        if (static_cast<int>(phrases.size()) > count) phrases.resize(static_cast<std::size_t>(count));
        return phrases;
    };
    const auto enumeration = [&]() {
        std::vector<std::string> items;
        if (random.Chance(0.5)) {
            const Role party = Role::Party;
            const Action action = prose.PickAction(&party);
            rtf.Paragraph(W("Для ") + prose.ActionPhrase(action, Case::Genitive) + " " +
                              prose.Form(prose.Actor(Role::Party), Case::Nominative) +
                              W(" представляет следующие документы:"),
                          'j', false, 540);
            for (const Phrase* document : someOf(ObjectKind::Document, random.Between(1, 3)))
                items.push_back(prose.Form(*document, Case::Nominative));
            if (random.Chance(0.6)) items.push_back(W("копия документа, удостоверяющего личность заявителя"));
            if (random.Chance(0.4))
                items.push_back(
                    W("доверенность, подтверждающая полномочия представителя (при подаче документов представителем)"));
        } else {
            // A refusal to register, issue or grant something; charges are not refused.
            const Role authority = Role::Authority;
            Action action = prose.PickAction(&authority);
            for (int tries = 0; tries < 8 && action.kind == ObjectKind::Payment; ++tries)
                action = prose.PickAction(&authority);
            rtf.Paragraph(Capitalize(prose.Form(prose.Actor(Role::Authority), Case::Nominative)) + W(" отказывает ") +
                              In(prose.ActionPhrase(action, Case::Prepositional)) + W(" в следующих случаях:"),
                          'j', false, 540);
            items = {W("непредставление документов, указанных в пункте ") + std::to_string(random.Between(2, 30)) +
                         W(" настоящего Порядка"),
                     W("представление документов, содержащих недостоверные сведения"),
                     W("нарушение срока ") + prose.ActionPhrase(Case::Genitive),
                     W("несоответствие заявителя требованиям, установленным ") + prose.topic().lawInstrumental};
            items.resize(static_cast<std::size_t>(random.Between(2, 4)));
        }
        for (std::size_t k = 0; k < items.size(); ++k)
            rtf.Paragraph(std::to_string(k + 1) + ") " + items[k] + (k + 1 == items.size() ? "." : ";"), 'j', false,
                          540);
    };
    const auto table = [&]() {
        std::vector<std::vector<std::string>> rows;
        const ObjectKind money = prose.Has(ObjectKind::Payment) ? ObjectKind::Payment : ObjectKind::Benefit;
        if (prose.Has(money)) {
            rows.push_back({W("N п/п"),
                            W(money == ObjectKind::Payment ? "Наименование платежа" : "Наименование выплаты"), W("Код"),
                            W("Размер (руб.)")});
            for (const Phrase* payment : someOf(money, 8))
                rows.push_back({std::to_string(rows.size()), Capitalize(prose.Form(*payment, Case::Nominative)),
                                std::to_string(random.Between(100, 999)), std::to_string(random.Between(1, 900) * 50)});
        } else {
            rows.push_back({W("N п/п"), W("Наименование документа"), W("Код формы"), W("Срок (дней)")});
            for (const Phrase* document : someOf(ObjectKind::Document, 8))
                rows.push_back({std::to_string(rows.size()), Capitalize(prose.Form(*document, Case::Nominative)),
                                std::to_string(random.Between(1100, 1199)), std::to_string(random.Between(3, 30))});
        }
        rtf.Table(rows, {800, 4600, 1200, 2000});
    };

    // Heading block.
    if (kind == Kind::Law || kind == Kind::Code) rtf.Paragraph(W("РОССИЙСКАЯ ФЕДЕРАЦИЯ"), 'c', true);
    rtf.Paragraph(UpperCp1251(type.name + (type.issuer.empty() ? "" : " " + type.issuer)), 'c', true);
    rtf.Paragraph(W("от ") + LongDate(doc.dateOfIntroduction) + " N " + doc.numberText, 'c', false);
    rtf.Paragraph(UpperCp1251(doc.title), 'c', true);
    if (!doc.inForce) rtf.Paragraph("(" + AgreeingPast(type.name, "утратил") + W(" силу)"), 'c', false);
    if (random.Chance(0.03)) {
        const int side = random.Between(16, 40);
        rtf.Picture(MakeSamplePng(side, side, static_cast<std::uint64_t>(doc.number)), side, side);
    }

    if (kind == Kind::Law || kind == Kind::Code) {
        // A code or law speaks of itself as "настоящий"; a law that amends others names the act it amends.
        if (kind == Kind::Code || doc.title.rfind(W("О внесении"), 0) != 0)
            prose.SetGoverningAct(W("настоящим ") + ActName(type, Case::Instrumental));
        rtf.Paragraph(W("Принят Государственной Думой ") + LongDate(doc.dateOfIntroduction), 'r', false);
        int article = 0;
        for (int chapter = 1; rtf.size() < doc.targetSize || chapter == 1; ++chapter) {
            const std::string heading = chapter == 1 ? W("Общие положения") : prose.Heading();
            rtf.Paragraph(W("Глава ") + std::to_string(chapter) + ". " + UpperCp1251(heading), 'c', true);
            const int articles = random.Between(1, 6);
            for (int a = 0; a < articles && (rtf.size() < doc.targetSize || a == 0); ++a) {
                ++article;
                const std::string heading =
                    article == 1 ? W("Сфера действия настоящего ") + ActName(type) : prose.Heading();
                rtf.Paragraph(W("Статья ") + std::to_string(article) + ". " + heading, 'l', true, 540);
                const int parts = random.Between(1, 5);
                for (int p = 1; p <= parts; ++p) part(parts > 1 ? std::to_string(p) + "." : "");
                if (random.Chance(0.15)) enumeration();
            }
        }
    } else {
        if (kind == Kind::Letter) {
            rtf.Paragraph(
                W("Рассмотрено обращение ") + about(mainAction(Case::Prepositional)) + W(" и сообщается следующее."),
                'j', false, 540);
        } else if (kind == Kind::Court) {
            rtf.Paragraph(W("Рассмотрев вопрос ") + about(mainAction(Case::Prepositional)) + W(", суд установил:"), 'j',
                          false, 540);
        } else {
            // The enacting words of the issuer: a minister orders, the President and the Government decree.
            const std::string purpose = W("В целях совершенствования порядка ") + mainAction(Case::Genitive);
            if (FirstWordIs(type.name, "Приказ"))
                rtf.Paragraph(purpose + W(" приказываю:"), 'j', false, 540);
            else if (FirstWordIs(type.name, "Указ"))
                rtf.Paragraph(purpose + W(" постановляю:"), 'j', false, 540);
            else if (FirstWordIs(type.name, "Постановление") && Contains(type.issuer, "Правительства"))
                rtf.Paragraph(purpose + W(" Правительство Российской Федерации постановляет:"), 'j', false, 540);
            else
                rtf.Paragraph(W("Настоящий документ определяет порядок ") + mainAction(Case::Genitive) + ".", 'j',
                              false, 540);
        }
        int point = 0;
        for (int section = 1; rtf.size() < doc.targetSize || section == 1; ++section) {
            if (section > 1 || random.Chance(0.5))
                rtf.Paragraph(RomanNumeral(section) + ". " + prose.Heading(), 'c', true);
            const int points = random.Between(2, 8);
            for (int p = 0; p < points && (rtf.size() < doc.targetSize || p == 0); ++p) {
                part(std::to_string(++point) + ".");
                if (random.Chance(0.1)) enumeration();
            }
            if (random.Chance(0.12)) table();
        }
    }
    if (random.Chance(0.35)) {
        rtf.Paragraph(W("Признать утратившими силу:"), 'j', false, 540);
        const int count = random.Between(1, 3);
        for (int k = 0; k < count; ++k) {
            const SampleDocument& target = anotherDocument();
            rtf.Begin('j', 540);
            rtf.Run(std::to_string(k + 1) + ") ");
            rtf.Link(target.number, LinkText(vocabulary, target));
            rtf.Run(k + 1 == count ? "." : ";");
            rtf.End();
        }
    }
    if (!terms.empty()) {
        std::string list = W("Термины, используемые в настоящем документе: ");
        for (std::size_t k = 0; k < terms.size(); ++k) list += (k ? ", " : "") + terms[k];
        rtf.Paragraph(list + ".", 'j', false, 540);
    }
    const Signatory& signatory = SignatoryOf(vocabulary, type, random);
    rtf.Paragraph(signatory.position, 'r', false);
    rtf.Paragraph(signatory.name, 'r', false);
    return rtf.Finish();
}

}  // namespace Norik
