// CFindDialog: the attribute search "Поиск по реквизитам".
//
// The user picks a section, a type and a number, types words of the title and of the text,
// chooses whether every word or any one must occur, a range of dates of introduction (either end
// may stay empty), a status and (from a document list) whether to search the whole base or only
// that list. A date that cannot be read is said to the user before anything is searched.
// "Найти" writes the fields into the caller's request, evaluates them against the base's indexes,
// reports the count and, when the user wants to see the documents, has the user port open a result
// window and closes the dialog. Messages go through the user port too, so the dialog holds no
// modal loop of its own besides exec().
//
// The dialog reads the classifier, the type list and the document table as loaded by the lists
// the search starts from; it changes nothing in them. The request and the user port belong to the
// caller and must outlive the dialog. User-interface thread only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "index/IndexSpace.h"
#include "showdata/SearchRequest.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Norik {

class CAutoComboBox;
class IUserPort;

class CFindDialog : public QDialog {
    Q_OBJECT
public:
    // listNumbers null: a search over the whole base. Otherwise the search starts from a document
    // list, whose document numbers (ascending, possibly none) the dialog copies; only then can
    // the user restrict the search to them.
    CFindDialog(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers, IUserPort& userPort,
                QWidget* parent = nullptr);
    ~CFindDialog() override;

private:
    void CreateControls();
    void PlaceControls();
    void FillLists();
    void ShowRequest(const ShowData::SearchRequest& request);
    // Whether both date fields are empty or hold a date, the first not after the second; when not,
    // the user has been told and the field in question has the focus.
    bool DatesReadable();
    ShowData::SearchRequest ReadRequest() const;
    void OnFind();
    void OnClear();
    // Evaluates request against the base's indexes: true with the documents found (possibly
    // none), or false once the user has been told why there is no answer.
    bool Evaluate(const ShowData::SearchRequest& request, IndexSpace::DocNumberList& found);
    void Tell(const std::string& text);

    ShowData::SearchRequest& m_request;
    IUserPort& m_userPort;
    const bool m_fromList;
    const std::vector<std::int16_t> m_listNumbers;
    std::vector<std::int32_t> m_sectionNumbers;  // ids of the section entries after "Все разделы"

    QComboBox* m_section = nullptr;
    CAutoComboBox* m_type = nullptr;
    CAutoComboBox* m_number = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_text = nullptr;
    QRadioButton* m_allWords = nullptr;
    QRadioButton* m_anyWord = nullptr;
    QLineEdit* m_dateFrom = nullptr;
    QLineEdit* m_dateTo = nullptr;
    QComboBox* m_area = nullptr;
    QComboBox* m_status = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_find = nullptr;
    QPushButton* m_cancel = nullptr;

    // Every control with its place in dialog units (x, y, width, height), in tab order.
    struct Place {
        QWidget* widget;
        int x, y, width, height;
    };
    std::vector<Place> m_places;
};

// Runs the dialog modally over request (see CFindDialog); the user port's RunAttributeSearch.
void RunFindDialog(QWidget* parent, ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers,
                   IUserPort& userPort);

}  // namespace Norik
