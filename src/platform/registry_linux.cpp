#include "platform/registry.h"
#include "textfile/lines.h"

#include <QDateTime>
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
        const QByteArray content = file.readAll();
        if (!isRegFile(content)) {
            // Never parsed, so never written over. Told once for each state
            // of the file, not at every use.
            const QFileInfo info(file);
            const auto state = std::pair(info.size(), info.lastModified());
            const bool told = m_reportedState == state;
            m_reportedState = state;
            throw RegistryError::unreadable(m_path, told);
        }
        m_reportedState.reset();
        return parseRegFile(content);
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
    std::optional<std::pair<qint64, QDateTime>> m_reportedState;
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
