#pragma once

#include "updating/releasefeed.h"

#include <QString>

namespace jw {

// Installing a downloaded release into the program folder so that a
// failure or a kill at any moment leaves a working program: files are
// downloaded and checked in ".update/" of the program folder (same file
// system), then a journal marks them all ready and only then are they moved
// over the old ones, each by one rename. A kill during the moves is finished
// by the next start of the program or the updater (finishPending); a kill
// before the journal leaves the old program and a staging folder that the
// next update clears.
class UpdateInstallation
{
public:
    explicit UpdateInstallation(const QString &programFolder);

    // Clears what an interrupted download left and makes the staging folder
    // (after finishPending, which the updater runs first).
    bool prepare(QString *error);
    // Where the download of `name` goes.
    QString stagedPath(const QString &name) const;
    // Marks every staged file of `feed` ready and moves them in place.
    bool commit(const ReleaseFeed &feed, QString *error);

    // Completes an update that was marked ready; true when there was one.
    static bool finishPending(const QString &programFolder);

private:
    QString m_program;
    QString m_staging;
};

} // namespace jw
