#include "updating/releasefeed.h"

#include "platform/shell.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace jw {

namespace {

constexpr qsizetype kMostFiles = 64;

std::optional<QList<uint>> versionParts(const QString &version)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{1,9}(\\.\\d{1,9}){0,5}$"));
    if (!shape.match(version).hasMatch())
        return std::nullopt;
    QList<uint> parts;
    for (const QString &part : version.split(QLatin1Char('.')))
        parts.append(part.toUInt());
    return parts;
}

bool isSafeName(const QString &name)
{
    // Executables of the program folder, and its help pages; never its
    // config/ (the user's files in a home install) nor a way out.
    static const QRegularExpression shape(QStringLiteral("^(help/)?[A-Za-z0-9_][A-Za-z0-9_.-]{0,63}$"));
    return shape.match(name).hasMatch() && !name.contains(QLatin1String(".."));
}

} // namespace

std::optional<ReleaseFeed> parseReleaseFeed(const QByteArray &json, const QUrl &feedAddress, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        *error = QStringLiteral("the release feed is not a JSON object");
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    ReleaseFeed feed;
    feed.version = root.value(QLatin1String("version")).toString();
    if (!versionParts(feed.version)) {
        *error = QStringLiteral("the release feed names no version");
        return std::nullopt;
    }
    const QJsonArray files = root.value(QLatin1String("files")).toArray();
    if (files.isEmpty() || files.size() > kMostFiles) {
        *error = QStringLiteral("the release feed lists no files, or too many");
        return std::nullopt;
    }
    QSet<QString> names;
    for (const QJsonValue &value : files) {
        const QJsonObject object = value.toObject();
        ReleaseFile file;
        file.name = object.value(QLatin1String("name")).toString();
        if (!isSafeName(file.name) || names.contains(file.name)) {
            *error = QStringLiteral("the release feed names a file it may not replace: %1").arg(file.name.left(80));
            return std::nullopt;
        }
        names.insert(file.name);
        file.url = feedAddress.resolved(QUrl(object.value(QLatin1String("url")).toString()));
        if (!isFetchableAddress(file.url)) {
            *error = QStringLiteral("the release feed gives %1 an address that is not HTTPS").arg(file.name);
            return std::nullopt;
        }
        const QString hex = object.value(QLatin1String("sha256")).toString();
        file.sha256 = QByteArray::fromHex(hex.toLatin1());
        if (hex.size() != 64 || file.sha256.size() != 32 || file.sha256.toHex() != hex.toLatin1().toLower()) {
            *error = QStringLiteral("the release feed gives %1 no SHA-256").arg(file.name);
            return std::nullopt;
        }
        feed.files.append(file);
    }
    return feed;
}

int compareVersions(const QString &a, const QString &b)
{
    const std::optional<QList<uint>> left = versionParts(a);
    const std::optional<QList<uint>> right = versionParts(b);
    if (!left || !right)
        return int(bool(left)) - int(bool(right));
    for (qsizetype i = 0; i < std::max(left->size(), right->size()); ++i) {
        const uint x = i < left->size() ? left->at(i) : 0;
        const uint y = i < right->size() ? right->at(i) : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

QString programVersion()
{
    return QStringLiteral("%1.%2.%3").arg(JUNKWARDEN_VERSION_MAJOR).arg(JUNKWARDEN_VERSION_MINOR).arg(JUNKWARDEN_BUILD);
}

} // namespace jw
