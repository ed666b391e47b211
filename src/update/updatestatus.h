#pragma once

#include <QByteArray>
#include <QString>

namespace jw {

// What the first line of the updater's "status-update" reports.
struct UpdateStatus
{
    enum Kind {
        Nothing, // empty, unreadable, or not a form the updater writes
        Progress, // a percentage
        Done, // "ACT": success, no version to record
        NoConnection, // "CONNERR"
        NotAuthorised, // "AUTHERR"
        NewVersion, // "N" and a version
    };
    Kind kind = Nothing;
    int percent = 0;
    QString version; // at most 10 characters

    static UpdateStatus parse(const QByteArray &firstLine);
    bool isFinal() const { return kind != Nothing && kind != Progress; }
};

} // namespace jw
