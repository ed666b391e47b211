#pragma once

#include "settings/keyvaluefile.h"
#include "settings/settingskeys.h"

#include <QString>

// The settings file "main.cfg" of a configuration folder: the one place that
// names it. The keys are in settingskeys.h.
namespace jw::settingsfile {

// Its path in `configFolder` (which ends with "/").
QString pathIn(const QString &configFolder);
// Its entries. Throws FileError when it cannot be read.
KeyValueFile load(const QString &configFolder);
// The same, a missing or unreadable file read as one without entries (every
// key at its default).
KeyValueFile loadOrEmpty(const QString &configFolder);
// Writes it whole. Throws FileError.
void save(const QString &configFolder, const KeyValueFile &settings);

// A key read quietly, as the proxy reads, which has no one to tell: what is
// missing, empty or unusable (not a number, outside the key's range, not
// one of its words) gives the key's fallback. The tray, the routing and the
// windows read numbers by the number rule and report what is not one.
int number(const KeyValueFile &settings, const SettingKey &key);
QString text(const KeyValueFile &settings, const SettingKey &key);

} // namespace jw::settingsfile
