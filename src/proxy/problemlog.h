#pragma once

#include <QString>

namespace jw {

// Failures the proxy goes on after (a full disk while remembering what
// passed, a copy that cannot be read), one line each with the time, in
// "problems.log" of its state folder, so they leave a trace. Never a
// password. Past kMaxBytes the older half goes.
class ProblemLog
{
public:
    static constexpr char kFileName[] = "problems.log";
    static constexpr qint64 kMaxBytes = 256 * 1024;

    explicit ProblemLog(const QString &stateFolder);
    void note(const QString &what) const;

private:
    QString m_path;
};

} // namespace jw
