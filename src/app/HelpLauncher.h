// Help (F1, "Справка о программе"): the help file "nrhelp.chm" beside the executable (or in the
// installation's shared folder, <prefix>/share/norik/), opened with
// the desktop's handler for it, when the file exists; otherwise the user's guide bundled with the
// program (":/help/"), shown in the program's own help window. What the desktop does with the
// file is its own affair: the program shows no message either way. User-interface thread only.
#pragma once

#include <QString>

class QWidget;

namespace Norik {

// Program folder + "nrhelp.chm"; the shared folder's when only that one exists.
QString HelpFilePath();

void OpenHelp(QWidget* parent);

}  // namespace Norik
