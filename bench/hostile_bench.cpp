// Messages made to freeze a filter: 230 KB of HTML whose links never close
// and 240 KB of a script that never ends. The whole judgement (GMime, every
// method in the third state, the lists) against, as the reference in the
// same run, the backtracking patterns that used to meet such text
// (QRegularExpression, PCRE2) on the same bytes.
#include "proxy/judgement.h"
#include "proxy/mailfacts.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QByteArray hostile(bool script)
{
    const QByteArray html = script
        ? QByteArray("<html><body>" + QByteArray("<script>var a; ").repeated(16000))
        : QByteArray("<html><body>" + QByteArray("<a href=\"http://a.example/\" x ").repeated(7500));
    return "From: news@shop.example\r\nTo: ann@example.com\r\nSubject: news\r\nContent-Type: text/html\r\n\r\n" + html
        + "\r\n";
}

void judgeWhole(benchmark::State &state)
{
    QTemporaryDir folder;
    const QString config = folder.path() + QStringLiteral("/");
    QByteArray methods;
    for (int i = 0; i < 61; ++i)
        methods += "method " + QByteArray::number(i) + "=2\r\n";
    QFile file(config + QStringLiteral("methods.cfg"));
    file.open(QIODevice::WriteOnly);
    file.write(methods);
    file.close();
    jw::LocalJudgement judgement(config);
    const QByteArray source = hostile(state.range(0) == 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(judgement.judge(jw::readMailFacts(source)));
    state.SetLabel(state.range(0) == 1 ? "unclosed script" : "unclosed links");
}
BENCHMARK(judgeWhole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The reference: the link pattern and the tag stripping as they were.
void backtrackingReference(benchmark::State &state)
{
    const QRegularExpression link(
        QStringLiteral("<a\\b[^>]*\\bhref\\s*=\\s*[\"']?\\s*https?://([^/\"'\\s>:?#]+)[^>]*>(.*?)</a>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression scripts(QStringLiteral("<(script|style)\\b.*?</\\1\\s*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const bool script = state.range(0) == 1;
    const QString html = QString::fromUtf8(hostile(script));
    for (auto _ : state) {
        if (script) {
            QString text = html;
            benchmark::DoNotOptimize(text.remove(scripts));
        } else {
            QRegularExpressionMatchIterator links = link.globalMatch(html);
            for (int i = 0; i < 200 && links.hasNext(); ++i)
                benchmark::DoNotOptimize(links.next());
        }
    }
    state.SetLabel(script ? "unclosed script" : "unclosed links");
}
BENCHMARK(backtrackingReference)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
