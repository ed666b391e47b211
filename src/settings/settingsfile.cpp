#include "settings/settingsfile.h"

#include "settings/settingskeys.h"
#include "textfile/errors.h"

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

} // namespace jw::settingsfile
