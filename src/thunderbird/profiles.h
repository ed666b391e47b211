#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace jw::thunderbird {

// One Thunderbird profile: a folder holding prefs.js and the mail.
struct Profile
{
    QString name;
    QString folder; // absolute, without a trailing slash
    bool isDefault = false;
};

struct ProfileSearch
{
    QList<Profile> profiles;
    QStringList problems; // one line per profiles.ini that could not be read
};

// The profiles that one profiles.ini (in `root`) names: `[ProfileN]`
// sections with Name, IsRelative, Path and Default, and `[Install…]`
// sections whose Default names the profile an installation starts with.
ProfileSearch readProfilesIni(const QString &root);

// Every profile of the user's Thunderbird installations under `home`: the
// packaged one (~/.thunderbird), the snap and every flatpak
// (~/.var/app/*/.thunderbird), each profile folder once.
ProfileSearch findProfiles(const QString &home);

} // namespace jw::thunderbird
