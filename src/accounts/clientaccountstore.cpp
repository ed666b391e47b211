#include "accounts/clientaccountstore.h"

#include "textfile/errors.h"
#include "textfile/nativefile.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace jw {

namespace {

// Key-file bytes travel as Latin-1 text: every byte comes back as it was.
QJsonValue bytesValue(const std::optional<QByteArray> &bytes)
{
    return bytes ? QJsonValue(QString::fromLatin1(*bytes)) : QJsonValue(QJsonValue::Null);
}

std::optional<QByteArray> bytesOf(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString().toLatin1();
}

QJsonObject toJson(const ClientAccountRecord &record)
{
    QJsonArray changes;
    for (const KeyChange &change : record.changes) {
        changes.append(QJsonObject{{QStringLiteral("group"), bytesValue(change.group)},
            {QStringLiteral("key"), bytesValue(change.key)}, {QStringLiteral("before"), bytesValue(change.before)},
            {QStringLiteral("after"), bytesValue(change.after)}});
    }
    return QJsonObject{{QStringLiteral("source"), record.source}, {QStringLiteral("key"), record.key},
        {QStringLiteral("flagged"), record.flagged}, {QStringLiteral("server"), record.server},
        {QStringLiteral("port"), record.port}, {QStringLiteral("user"), record.user},
        {QStringLiteral("tls"), record.tls}, {QStringLiteral("changes"), changes}};
}

ClientAccountRecord fromJson(const QJsonObject &object)
{
    ClientAccountRecord record;
    record.source = object.value(QStringLiteral("source")).toString();
    record.key = object.value(QStringLiteral("key")).toString();
    record.flagged = object.value(QStringLiteral("flagged")).toBool();
    record.server = object.value(QStringLiteral("server")).toString();
    record.port = object.value(QStringLiteral("port")).toInt(110);
    record.user = object.value(QStringLiteral("user")).toString();
    record.tls = object.value(QStringLiteral("tls")).toInt();
    for (const QJsonValue &value : object.value(QStringLiteral("changes")).toArray()) {
        const QJsonObject change = value.toObject();
        const std::optional<QByteArray> group = bytesOf(change.value(QStringLiteral("group")));
        const std::optional<QByteArray> key = bytesOf(change.value(QStringLiteral("key")));
        const std::optional<QByteArray> after = bytesOf(change.value(QStringLiteral("after")));
        if (group && key && after)
            record.changes.append({*group, *key, bytesOf(change.value(QStringLiteral("before"))), *after});
    }
    return record;
}

} // namespace

ClientAccountStore::ClientAccountStore(const QString &stateFolder)
    : m_path(QDir(stateFolder).filePath(QStringLiteral("mailclients.json")))
{
}

QList<ClientAccountRecord> ClientAccountStore::load() const
{
    const NativePath path = nativePath(m_path);
    if (!QFileInfo::exists(m_path))
        return {};
    const std::optional<QByteArray> bytes = readNativeFile(path);
    QJsonParseError error{};
    const QJsonDocument document = bytes ? QJsonDocument::fromJson(*bytes, &error) : QJsonDocument();
    if (!bytes || error.error != QJsonParseError::NoError || !document.isObject())
        throw FileError(QStringLiteral("The record of routed mail accounts %1 cannot be read; nothing was changed.")
                            .arg(QDir::toNativeSeparators(m_path)));
    QList<ClientAccountRecord> records;
    for (const QJsonValue &value : document.object().value(QStringLiteral("accounts")).toArray()) {
        ClientAccountRecord record = fromJson(value.toObject());
        if (!record.source.isEmpty() && !record.key.isEmpty())
            records.append(record);
    }
    return records;
}

void ClientAccountStore::save(const QList<ClientAccountRecord> &records) const
{
    QJsonArray accounts;
    for (const ClientAccountRecord &record : records)
        accounts.append(toJson(record));
    QDir().mkpath(QFileInfo(m_path).path());
    writeNativeFileAtomically(nativePath(m_path),
        QJsonDocument(QJsonObject{{QStringLiteral("accounts"), accounts}}).toJson(QJsonDocument::Indented),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

ClientAccountRecord &ClientAccountStore::recordOf(
    QList<ClientAccountRecord> &records, const QString &source, const QString &key)
{
    for (ClientAccountRecord &record : records) {
        if (record.source == source && record.key == key)
            return record;
    }
    ClientAccountRecord record;
    record.source = source;
    record.key = key;
    records.append(record);
    return records.last();
}

const ClientAccountRecord *ClientAccountStore::find(
    const QList<ClientAccountRecord> &records, const QString &source, const QString &key)
{
    for (const ClientAccountRecord &record : records) {
        if (record.source == source && record.key == key)
            return &record;
    }
    return nullptr;
}

} // namespace jw
