#include "Helpers/DataDamage.h"

namespace Norik {

std::string DamageKindText(DamageKind kind) {
    switch (kind) {
        case DamageKind::CannotOpen:
            return "файл не удаётся открыть";
        case DamageKind::NotAFile:
            return "это ссылка или устройство, а не обычный файл";
        case DamageKind::Cut:
            return "файл обрывается, записи после обрыва утрачены";
        case DamageKind::TooLarge:
            return "файл или его запись больше, чем бывает в базе";
        case DamageKind::WrongEncoding:
            return "файл записан в кодировке UTF-8 вместо Windows-1251";
        case DamageKind::Changed:
            return "база данных изменилась во время работы, откройте её заново";
        case DamageKind::Damaged:
            break;
    }
    return "в файле испорчены записи";
}

std::string DataDamage::UserText() const { return file + ": " + DamageKindText(kind); }

}  // namespace Norik
