#include "platform/registry.h"

#include "textfile/lines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace jw {

namespace {

class FileRegistry final : public Registry
{
public:
    explicit FileRegistry(QString path)
        : m_path(std::move(path))
    {
    }

    RegistryData load() override
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return RegistryData(); // no file yet: an empty registry
        return parseRegFile(file.readAll());
    }

    void save(const RegistryData &data) override
    {
        const QString folder = QFileInfo(m_path).absolutePath();
        if (!QDir().mkpath(folder))
            throw RegistryError::cannotWrite(data.firstWrittenValue());
        try {
            // It holds passwords: the user's alone.
            writeFileAtomically(m_path, serializeRegFile(data), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        } catch (const FileError &) {
            throw RegistryError::cannotWrite(data.firstWrittenValue());
        }
    }

private:
    QString m_path;
};

} // namespace

std::unique_ptr<Registry> createFileRegistry(const QString &path)
{
    return std::make_unique<FileRegistry>(path);
}

QString defaultRegistryPath()
{
    const QByteArray fromEnvironment = qgetenv("JUNKWARDEN_REGISTRY");
    if (!fromEnvironment.isEmpty())
        return QFile::decodeName(fromEnvironment);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/junkwarden/registry.reg");
}

} // namespace jw
