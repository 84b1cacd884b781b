// The pictures, animation, help pages and texts bundled into the program (res/norik.qrc).
//
// The resources are compiled into the static user-interface library, where the linker would drop
// them unless something refers to them: InitResources registers them and must run once before
// the first resource is used (the application object calls it first thing). User-interface
// thread; safe to call more than once.
#pragma once

#include <QString>

namespace Norik {

void InitResources();

// The text resource `name` (":/text/<name>", UTF-8), up to its first NUL character; the empty
// string when there is no such resource. "IDS_BASE_NAME" is the base's display name, shown as the
// main window's title, in the about box and as the desktop shortcut's name.
QString LoadTextResource(const QString& name);

}  // namespace Norik
