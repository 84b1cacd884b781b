// The user port: what the core asks of the user.
//
// The data model and the base update show messages through this interface; the viewer implements
// it with Qt dialogs, tests with a recording fake, the command-line tool by printing. Texts are
// Windows-1251 bytes, as the model holds them. Called on the user-interface thread only.
#pragma once

#include <string>

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
};

}  // namespace Norik
