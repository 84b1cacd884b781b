// The program's named texts, kept with the program rather than with the base: "IDS_BASE_NAME",
// the display name of the base (the main window's title, the about box, the desktop launcher).
// Pure functions; any thread.
#pragma once

#include <QString>

namespace Norik {

// The text of the named resource; empty when there is none of that name.
QString LoadTextResource(const QString& name);

}  // namespace Norik
