#include "thunderbird/profiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <optional>
#include <utility>

namespace jw::thunderbird {

namespace {

using Section = QHash<QString, QString>;

// The sections of an ini file in file order, keys as written; nullopt when
// the file cannot be read.
std::optional<QList<std::pair<QString, Section>>> readIni(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<std::pair<QString, Section>> sections;
    for (QByteArray line : file.readAll().split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            sections.append({QString::fromUtf8(line.mid(1, line.size() - 2)), Section()});
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && !sections.isEmpty())
            sections.last().second.insert(
                QString::fromUtf8(line.left(eq).trimmed()), QString::fromUtf8(line.mid(eq + 1).trimmed()));
    }
    return sections;
}

} // namespace

ProfileSearch readProfilesIni(const QString &root)
{
    ProfileSearch search;
    const QString iniPath = root + QLatin1String("/profiles.ini");
    if (!QFileInfo::exists(iniPath))
        return search;
    const auto sections = readIni(iniPath);
    if (!sections) {
        search.problems.append(QStringLiteral("%1 cannot be read").arg(iniPath));
        return search;
    }
    QStringList installDefaults;
    for (const auto &[name, keys] : *sections) {
        if (name.startsWith(QLatin1String("Install")) && keys.contains(QStringLiteral("Default")))
            installDefaults.append(keys.value(QStringLiteral("Default")));
    }
    for (const auto &[name, keys] : *sections) {
        if (!name.startsWith(QLatin1String("Profile")) || !keys.contains(QStringLiteral("Path")))
            continue;
        const QString path = keys.value(QStringLiteral("Path"));
        Profile profile;
        profile.name = keys.value(QStringLiteral("Name"), path);
        // Relative unless it says otherwise: "IsRelative=0".
        const bool relative = keys.value(QStringLiteral("IsRelative"), QStringLiteral("1")) != QLatin1String("0");
        profile.folder = QDir::cleanPath(relative ? root + QLatin1Char('/') + path : path);
        profile.isDefault =
            keys.value(QStringLiteral("Default")) == QLatin1String("1") || installDefaults.contains(path);
        search.profiles.append(profile);
    }
    return search;
}

ProfileSearch findProfiles(const QString &home)
{
    QStringList roots{
        home + QLatin1String("/.thunderbird"), home + QLatin1String("/snap/thunderbird/common/.thunderbird")};
    // Flatpak ids have changed over time: every application that has one.
    const QDir apps(home + QLatin1String("/.var/app"));
    for (const QString &app : apps.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        roots.append(apps.filePath(app) + QLatin1String("/.thunderbird"));
    ProfileSearch all;
    QStringList seen;
    for (const QString &root : std::as_const(roots)) {
        const ProfileSearch found = readProfilesIni(root);
        all.problems += found.problems;
        for (const Profile &profile : found.profiles) {
            const QString canonical = QFileInfo(profile.folder).canonicalFilePath();
            const QString key = canonical.isEmpty() ? profile.folder : canonical;
            if (seen.contains(key))
                continue;
            seen.append(key);
            all.profiles.append(profile);
        }
    }
    return all;
}

} // namespace jw::thunderbird
