#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace jw {

// Base of every error the program reports to the user in its error box. The
// message is the complete user-visible text; event handlers catch these at
// their boundary so that no exception crosses the event loop.
class Error : public std::exception
{
public:
    explicit Error(QString message, bool alreadyReported = false);
    const QString &message() const noexcept { return m_message; }
    // The same fault was shown to the user before and is not shown again.
    bool alreadyReported() const noexcept { return m_alreadyReported; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
    bool m_alreadyReported = false;
};

// A file could not be opened for reading or created for writing.
class FileError : public Error
{
public:
    using Error::Error;
    static FileError cannotOpen(const QString &path);
    static FileError cannotCreate(const QString &path);
};

// A text could not be read as a number.
class ConversionError : public Error
{
public:
    using Error::Error;
};

} // namespace jw
