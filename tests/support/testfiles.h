#pragma once

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <ostream>

// Readable failure messages for Qt's strings in GoogleTest.
inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << '"' << bytes.toStdString() << '"';
}
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QRect &rect, std::ostream *out)
{
    *out << rect.x() << ',' << rect.y() << ' ' << rect.width() << 'x' << rect.height();
}
inline void PrintTo(const QSize &size, std::ostream *out)
{
    *out << size.width() << 'x' << size.height();
}

namespace jw::test {

QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &content);

// A scratch program folder with config/ and messages/, removed afterwards.
class TempProgramFolder
{
public:
    TempProgramFolder();
    // With a trailing "/", as the program keeps its folders.
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    QString configPath() const { return path() + QStringLiteral("config/"); }
    QString messagesPath() const { return path() + QStringLiteral("messages/"); }
    QString file(const QString &relative) const { return path() + relative; }

private:
    QTemporaryDir m_dir;
};

// The folder of this source tree and of the staged program.
QString sourcePath(const QString &relative);
QString stagedProgramPath(const QString &relative);

} // namespace jw::test

namespace jw::test {

// Installs a language file of the source tree as the folder's language.lng.
void installLanguage(const TempProgramFolder &folder, const char *language = "english");

// Copies the staged executable, its companions and its data into `folder`,
// so that a test runs the real program without touching the build tree. The
// proxy is the scriptable stand-in unless `realProxy`.
void copyStagedProgram(const TempProgramFolder &folder, bool realProxy = false);

// Waits for a condition that another process brings about; false when it
// has not come within `timeoutMs`.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);

} // namespace jw::test
