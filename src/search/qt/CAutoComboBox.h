// CAutoComboBox: an editable combo box that completes what the user types to one of its entries.
//
// Every character typed into the edit part is examined before the field takes it. The text before
// the caret (the whole text when the caret stands at the start) followed by the character must
// begin some entry, ignoring case (every letter of Windows-1251 included); then the field shows
// the first such entry with the completed tail selected, so the next character replaces the tail.
// A character that begins no entry is refused without a message. Backspace and keys that type no
// character (arrows, Delete, Enter, shortcuts) reach the field unchanged; "*" is refused while the
// field is empty and otherwise typed as it is, so a number can end in "*".
//
// Entries are Windows-1251 texts, kept sorted by their bytes without duplicates in a list model
// that converts only the rows it is asked for, so a list of tens of thousands fills at once.
// User-interface thread only.
#pragma once

#include <QComboBox>
#include <string>
#include <string_view>
#include <vector>

namespace Norik {

class CAutoComboEntries;

class CAutoComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CAutoComboBox(QWidget* parent = nullptr);

    // Replaces the entries: sorted by bytes, duplicates dropped. The field is left empty.
    void SetEntries(std::vector<std::string> entries);
    // The index of the first entry that begins with text, ignoring case; -1 when there is none.
    int FindPrefix(std::string_view text) const;
    // Shows the first entry that begins with text, ignoring case. False, and the field unchanged,
    // when there is none.
    bool SelectPrefix(std::string_view text);

    // The text of the field, in Windows-1251.
    std::string Text() const;
    void SetText(std::string_view text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // True when the key was settled here and must not reach the field.
    bool Complete(const QKeyEvent& event);

    CAutoComboEntries* m_entries;
};

}  // namespace Norik
