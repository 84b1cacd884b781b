#include "app/TextResource.h"

namespace Norik {

QString LoadTextResource(const QString& name) {
    if (name == QLatin1String("IDS_BASE_NAME")) return QStringLiteral("База документов");
    return {};
}

}  // namespace Norik
