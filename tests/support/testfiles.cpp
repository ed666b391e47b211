#include "support/testfiles.h"

#include <QDir>
#include <QFile>

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
