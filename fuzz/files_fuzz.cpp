// Fuzzes the readers of files other programs write, chosen by the first
// byte: the registry export (".reg", any encoding), Thunderbird's prefs.js,
// mail HTML through the sanitiser, the updater's release feed and Claws
// Mail's account file. Each must never crash, and what the
// file readers write they must read back unchanged.
#include "clawsmail/accountrc.h"
#include "evolution/sourceregistry.h"
#include "mailhtml/safehtml.h"
#include "platform/registry.h"
#include "thunderbird/prefsfile.h"
#include "updating/releasefeed.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 5) {
    case 0:
        if (jw::isRegFile(bytes)) {
            // What it writes, it reads back to the same bytes.
            const QByteArray written = jw::serializeRegFile(jw::parseRegFile(bytes));
            if (jw::serializeRegFile(jw::parseRegFile(written)) != written)
                __builtin_trap();
        }
        break;
    case 1:
        try {
            jw::thunderbird::PrefsFile prefs = jw::thunderbird::PrefsFile::parse(bytes);
            if (prefs.bytes() != bytes)
                __builtin_trap();
            for (const QByteArray &name : prefs.names())
                prefs.value(name);
            prefs.set("mail.server.server1.hostName", jw::thunderbird::PrefValue::string(QStringLiteral("localhost")));
            jw::thunderbird::PrefsFile::parse(prefs.bytes()); // what it writes, it reads
        } catch (const jw::thunderbird::PrefsError &) {
        }
        break;
    case 3: {
        // A feed that is taken never names a file outside the program
        // folder nor one of the user's, and is fetched over HTTPS only.
        QString error;
        const std::optional<jw::ReleaseFeed> feed =
            jw::parseReleaseFeed(bytes, QUrl(QStringLiteral("https://updates.example/feed.json")), &error);
        if (feed) {
            for (const jw::ReleaseFile &file : feed->files) {
                if (file.name.contains(QLatin1String("..")) || file.name.startsWith(QLatin1Char('/'))
                    || file.name.startsWith(QLatin1String("config/")) || file.url.scheme() != QLatin1String("https")
                    || file.sha256.size() != 32)
                    __builtin_trap();
            }
        }
        break;
    }
    case 4: {
        // Routing an account and restoring it gives the file back byte for byte.
        // The same for an account of Evolution's registry.
        jw::KeyFileText file(bytes);
        for (const jw::clawsmail::Pop3Account &account : jw::clawsmail::pop3Accounts(file)) {
            jw::undoChanges(file, jw::clawsmail::routeAccount(file, account.id, 1110));
            if (file.bytes() != bytes)
                __builtin_trap();
        }
        if (jw::evolution::pop3Account({QStringLiteral("uid"), QString(), bytes, true})) {
            jw::undoChanges(file, jw::evolution::routeAccount(file, 1110));
            if (file.bytes() != bytes)
                __builtin_trap();
        }
        break;
    }
    default: {
        const QString text = QString::fromUtf8(bytes);
        jw::sanitizeMailHtml(text);
        // Text mail as HTML: its links never leave their anchor.
        const QString html = jw::plainMailAsHtml(text);
        if (html.count(QStringLiteral("<a ")) != html.count(QStringLiteral("</a>")))
            __builtin_trap();
        break;
    }
    }
    return 0;
}
