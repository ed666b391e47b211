#include "settings/settingsfile.h"

#include "settings/settingskeys.h"
#include "textfile/errors.h"

#include <algorithm>

namespace jw::settingsfile {

QString pathIn(const QString &configFolder)
{
    return configFolder + QLatin1String(settingskeys::kFileName);
}

KeyValueFile load(const QString &configFolder)
{
    return KeyValueFile::load(pathIn(configFolder));
}

KeyValueFile loadOrEmpty(const QString &configFolder)
{
    try {
        return load(configFolder);
    } catch (const FileError &) {
        return {};
    }
}

void save(const QString &configFolder, const KeyValueFile &settings)
{
    settings.save(pathIn(configFolder));
}

int number(const KeyValueFile &settings, const SettingKey &key)
{
    const int fallback = key.fallbackNumber();
    if (settings.value(key).isEmpty())
        return fallback;
    try {
        const int value = settings.number(key);
        if (key.kind == SettingKey::Kind::Flag)
            return value > 0 ? 1 : 0;
        return value >= key.low && value <= key.high ? value : fallback;
    } catch (const Error &) {
        return fallback;
    }
}

QString text(const KeyValueFile &settings, const SettingKey &key)
{
    const QString value = settings.text(key);
    if (key.kind == SettingKey::Kind::Choice)
        return std::any_of(key.words.begin(), key.words.end(),
                   [&value](const char *word) { return word && value == QLatin1String(word); })
            ? value
            : QLatin1String(key.fallback);
    return value.isEmpty() ? QLatin1String(key.fallback) : value;
}

} // namespace jw::settingsfile
