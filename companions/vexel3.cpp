// The filtering proxy "vexel3": started by Junkwarden with no arguments, it
// finds its files from its own location (see dataFolderFor) and serves the mail clients
// until it is stopped. It may be killed at any moment: every file it writes
// is replaced atomically, and the server changes nothing of a session that
// did not end with QUIT.
//
// For people and scripts: `vexel3 --check FILE...` judges message files as a
// session would and prints a line for each (exit status 1 when any is spam,
// 2 when any could not be read). `vexel3 --learn-spam FILE...` and
// `--learn-good FILE...` add message files to what the statistical method
// has learned ("learned_words.dat" in the configuration); `--prune-words N`
// forgets the words seen fewer than N times.
#include "platform/datafolder.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "proxy/dnscache.h"
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"
#include "proxy/messagebuffer.h"
#include "proxy/proxyserver.h"
#include "proxy/wordmodel.h"
#include "textfile/nativefile.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <malloc.h>

namespace {

// Hands each message file, as far as a session would hold it in memory,
// to `use`; a file that cannot be read is reported. Returns 2 when any
// could not be read, else 0.
int forEachMessage(const QStringList &paths, const std::function<void(const QString &, const jw::MailFacts &)> &use)
{
    int result = 0;
    for (const QString &path : paths) {
        const std::optional<QByteArray> source =
            jw::readNativeFileHead(jw::nativePath(path), jw::MessageBuffer::kInMemory);
        if (!source) {
            std::fprintf(stderr, "vexel3: cannot read %s\n", qUtf8Printable(path));
            result = 2;
            continue;
        }
        use(path, jw::readMailFacts(*source));
    }
    return result;
}

// One line per file: its name, "spam" or "good", the spam level, the
// reasons, and "sure" when a session would learn the verdict by itself
// (else nothing), separated by tabs. Nothing is written anywhere else.
int check(const QString &dataFolder, const QStringList &paths)
{
    const QString config = dataFolder + QStringLiteral("config/");
    const jw::JudgementSettings settings = jw::JudgementSettings::readFrom(config);
    jw::DnsCache dns(settings.dnsServer);
    jw::LocalJudgement judgement(config, settings, 1000, &dns);
    // As the next session will judge: with what the user deleted since.
    judgement.learnDeletedSpam(dataFolder + QStringLiteral("messages/"), dataFolder + QStringLiteral("state/"), true);
    bool anySpam = false;
    const int unread = forEachMessage(paths, [&](const QString &path, const jw::MailFacts &facts) {
        dns.wait(judgement.dnsQuestions(facts));
        const jw::Verdict verdict = judgement.judge(facts);
        QString reasons = verdict.reason;
        reasons.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::printf("%s\t%s\t%d\t%s\t%s\n", qUtf8Printable(path), verdict.spam ? "spam" : "good", verdict.level,
            qUtf8Printable(reasons), verdict.sure ? "sure" : "");
        anySpam = anySpam || verdict.spam;
    });
    return unread ? unread : anySpam ? 1 : 0;
}

// Changes what the statistical method has learned: `change` is handed the
// model read from the configuration, which is written back atomically.
int changeLearned(const QString &dataFolder, const std::function<int(jw::WordModel &)> &change)
{
    const jw::NativePath modelPath =
        jw::nativePath(dataFolder + QStringLiteral("config/") + QLatin1String(jw::kLearnedWordsFile));
    QString error;
    jw::WordModel model = jw::WordModel::fromBytes(jw::readNativeFile(modelPath).value_or(QByteArray()), &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "vexel3: %s: %s\n", modelPath.constData(), qUtf8Printable(error));
        return 2;
    }
    const int result = change(model);
    try {
        jw::writeNativeFileAtomically(modelPath, model.toBytes());
    } catch (const jw::Error &problem) {
        std::fprintf(stderr, "vexel3: %s\n", qUtf8Printable(problem.message()));
        return 2;
    }
    return result;
}

int learn(const QString &dataFolder, const QStringList &paths, bool spam)
{
    return changeLearned(dataFolder, [&paths, spam](jw::WordModel &model) {
        return forEachMessage(
            paths, [&model, spam](const QString &, const jw::MailFacts &facts) { model.learn(facts.words, spam); });
    });
}

} // namespace

int main(int argc, char *argv[])
{
    // Qt's own event dispatcher: lighter per socket event than GLib's, and
    // the proxy needs nothing of GLib's loop.
    qputenv("QT_NO_GLIB", "1");
    // A lookup that goes unanswered holds one of the resolver's threads
    // until the C library gives up: after 2 s, asked once, rather than the
    // default 5 s asked twice. A judgement never waits for it longer anyway.
    if (qEnvironmentVariableIsEmpty("RES_OPTIONS"))
        qputenv("RES_OPTIONS", "timeout:2 attempts:1");
    // Messages pass through in buffers of a few hundred KB: kept in the
    // heap rather than mapped and unmapped each time, which costs a page
    // fault per page.
    mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
    QCoreApplication app(argc, argv);
    // The folder its data lies in: beside it, or the user's own when it
    // is installed read-only (the front end agrees).
    const QString dataFolder = jw::dataFolderFor(jw::ownExecutableFolder());
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() >= 3 && arguments.at(1) == QLatin1String("--check")) {
        // Lookups that are still unanswered would hold the exit until the
        // resolver gives up; the check has written all it had to.
        const int result = check(dataFolder, arguments.mid(2));
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(result);
    }
    if (arguments.size() >= 3
        && (arguments.at(1) == QLatin1String("--learn-spam") || arguments.at(1) == QLatin1String("--learn-good")))
        return learn(dataFolder, arguments.mid(2), arguments.at(1) == QLatin1String("--learn-spam"));
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--prune-words") && arguments.at(2).toUInt() > 0) {
        return changeLearned(dataFolder, [&arguments](jw::WordModel &model) {
            model.prune(arguments.at(2).toUInt());
            return 0;
        });
    }
    if (arguments.size() > 1) {
        std::fprintf(stderr,
            "usage: vexel3 (no arguments: serve)\n       vexel3 --check MESSAGE-FILE...\n"
            "       vexel3 --learn-spam MESSAGE-FILE...\n       vexel3 --learn-good MESSAGE-FILE...\n"
            "       vexel3 --prune-words MINIMUM-COUNT\n");
        return 2;
    }
    for (const QString &problem : jw::seedDataFolder(jw::ownExecutableFolder(), dataFolder))
        std::fprintf(stderr, "vexel3: %s\n", qUtf8Printable(problem));
    const std::unique_ptr<jw::Registry> accounts = jw::createFileRegistry(jw::defaultRegistryPath());
    jw::ProxyServer server(dataFolder, *accounts);
    QString problem;
    if (!server.start(&problem)) {
        std::fprintf(stderr, "vexel3: %s\n", qUtf8Printable(problem));
        return 1;
    }
    return QCoreApplication::exec();
}
