#include "app/Resources.h"

#include <QFile>

// Q_INIT_RESOURCE declares the registration function at the scope it is used in, so it must be
// called outside any namespace.
static void RegisterBundledResources() { Q_INIT_RESOURCE(norik); }

namespace Norik {

void InitResources() {
    static const bool registered = (RegisterBundledResources(), true);
    (void)registered;
}

QString LoadTextResource(const QString& name) {
    QFile file(QStringLiteral(":/text/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray bytes = file.readAll();
    qsizetype end = bytes.indexOf('\0');
    if (end >= 0) bytes.truncate(end);
    return QString::fromUtf8(bytes);
}

}  // namespace Norik
