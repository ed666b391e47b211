#pragma once

#include "thunderbird/pop3servers.h"
#include "thunderbird/prefsfile.h"

#include <QList>
#include <QString>

#include <functional>

namespace jw::thunderbird {

// Whether a Thunderbird runs on the profile now: it holds a write lock on
// the profile's ".parentlock" for as long as it runs.
bool profileInUse(const QString &profileFolder);

struct EditOutcome
{
    enum class Result {
        Changed, // written
        Unchanged, // nothing to write
        InUse, // Thunderbird runs on it: nothing touched, try again once it has closed
        Unreadable, // the profile or its prefs.js cannot be read as Thunderbird's: nothing touched; see reason
        Refused, // its files cannot be written: nothing changed; see reason
    };
    Result result = Result::Unchanged;
    QString reason;
};

// Changes a profile's preferences while no Thunderbird can read them half
// written: holds the profile's lock itself for the whole edit (a Thunderbird
// started meanwhile reports the profile in use), reads prefs.js, lets
// `change` edit it and return the folder moves it made, then writes
// prefs.js and every account's msgFilterRules.dat that the moves touch,
// each in one atomic replacement. Before a file is first changed in this
// run of the program, a copy of it as it was goes to `backupFolder`.
EditOutcome editProfile(const QString &profileFolder, const QString &backupFolder,
    const std::function<QList<FolderMove>(PrefsFile &)> &change);

} // namespace jw::thunderbird
