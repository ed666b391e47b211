#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace jw::test {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return;
    }
    file.write(content);
}

TempProgramFolder::TempProgramFolder()
{
    QDir dir(m_dir.path());
    dir.mkdir(QStringLiteral("config"));
    dir.mkdir(QStringLiteral("messages"));
}

QString sourcePath(const QString &relative)
{
    return QStringLiteral(JW_SOURCE_DIR "/") + relative;
}

QString stagedProgramPath(const QString &relative)
{
    return QStringLiteral(JW_PROGRAM_DIR "/") + relative;
}

} // namespace jw::test

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace jw::test {

void installLanguage(const TempProgramFolder &folder, const char *language)
{
    const QString target = folder.configPath() + QStringLiteral("language.lng");
    QFile::remove(target);
    if (!QFile::copy(sourcePath(QStringLiteral("resources/language/%1.lng").arg(QLatin1String(language))), target))
        ADD_FAILURE() << "cannot install the language file " << language;
}

void copyStagedProgram(const TempProgramFolder &folder, bool realProxy)
{
    for (const char *name : {"junkwarden", "vexel3", "update", "PostPing"}) {
        const QString target = folder.file(QLatin1String(name));
        QFile::remove(target);
        const QString source = !realProxy && QByteArray(name) == "vexel3" ? QStringLiteral(JW_STANDIN_DIR "/vexel3")
                                                                          : stagedProgramPath(QLatin1String(name));
        if (!QFile::copy(source, target))
            ADD_FAILURE() << "cannot copy the staged " << name;
    }
    for (const char *name : {"main.cfg", "methods.cfg", "remessage", "language.lng"}) {
        const QString target = folder.configPath() + QLatin1String(name);
        QFile::remove(target);
        QFile::copy(stagedProgramPath(QStringLiteral("config/") + QLatin1String(name)), target);
    }
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

} // namespace jw::test
