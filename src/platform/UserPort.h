// The user port: what the core asks of the user.
//
// The data model and the base update show messages through this interface; the viewer implements
// it with Qt dialogs and windows, tests with a recording fake, the command-line tool by printing.
// Besides the message box the data model asks for the wait indicator around the opening of a
// document text, the opening of a text window, the attribute-search dialog and a new list window
// showing a search result. Texts are Windows-1251 bytes, as the model holds them. Called on the
// user-interface thread only; none of the operations throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ShowData {
struct SearchRequest;
}

namespace Norik {

enum class MessageButtons { Ok, YesNo, RetryCancel, OkCancel };
enum class MessageIcon { None, Information, Exclamation, Question, Error };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry };

class IUserPort {
public:
    virtual ~IUserPort() = default;
    // Shows a modal message box and returns the button chosen.
    virtual MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                                     MessageIcon icon) = 0;

    // Shows the wait indicator; EndWait takes it away. Calls come in pairs and may nest (the
    // opening of a text waits inside the wait of the list that asked for it): the indicator shows
    // once, from the outermost BeginWait to its EndWait.
    virtual void BeginWait() = 0;
    virtual void EndWait() = 0;

    // Opens the document text of path (a document file name such as "000042") through the text
    // template as a new visible window, even when the same text is open already. True when the
    // window opened and read the text.
    virtual bool OpenDocumentText(const std::string& path) = 0;

    // Runs the attribute-search dialog modally over request, which it reads and updates.
    // listNumbers is null for a search over the whole base; otherwise the search starts from a
    // document list and listNumbers holds that list's document numbers, ascending (signed),
    // possibly none.
    virtual void RunAttributeSearch(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers) = 0;

    // Opens a new list window showing the documents numbers (ascending), found by request.
    virtual void OpenResultListWindow(const std::vector<std::int16_t>& numbers,
                                      const ShowData::SearchRequest& request) = 0;
};

}  // namespace Norik
