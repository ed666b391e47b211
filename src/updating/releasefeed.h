#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace jw {

// The release feed: a small JSON document at an address fixed when the
// program is built, naming the newest version and the files that make it:
//
//   {"version": "1.0.253",
//    "files": [{"name": "vexel3", "url": "1.0.253/vexel3", "sha256": "<64 hex digits>"}, ...]}
//
// A name is a file of the program folder ("junkwarden", "vexel3") or a
// help page ("help/0.html"); addresses may be relative to the feed's own.
struct ReleaseFile
{
    QString name;
    QUrl url;
    QByteArray sha256; // 32 bytes
};

struct ReleaseFeed
{
    QString version;
    QList<ReleaseFile> files;
};

// The feed read from `json`, or nullopt with the reason in `error`. Every
// file must be named safely (no way out of the program folder, no data
// file of the user's), listed once and reached over HTTPS (plain HTTP only
// on this computer's own loopback addresses).
std::optional<ReleaseFeed> parseReleaseFeed(const QByteArray &json, const QUrl &feedAddress, QString *error);

// Compares dotted versions part by part as numbers ("1.0.10" > "1.0.9"):
// negative, zero or positive. A version that is not dots and digits
// compares as older than any that is.
int compareVersions(const QString &a, const QString &b);

// This build's version ("1.0.252").
QString programVersion();

} // namespace jw
