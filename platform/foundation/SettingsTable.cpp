#include "platform/foundation/SettingsTable.h"

namespace tolvan {

const std::vector<SettingEntry>& settingsTable()
{
#define TOLVAN_SETTING_ENTRY(name, storedKey, Type, byDefault, ownerText) \
    SettingEntry{settings::name.key, settings::name.owner, QMetaType::fromType<Type>(), QVariant::fromValue(settings::name.fallback)},
    static const std::vector<SettingEntry> table{TOLVAN_SETTINGS(TOLVAN_SETTING_ENTRY)};
#undef TOLVAN_SETTING_ENTRY
    return table;
}

}  // namespace tolvan
