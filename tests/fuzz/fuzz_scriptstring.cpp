// A lookup answer reaches the page as process_youtube(<literal>). Whatever
// bytes the lookup service sends, evaluating that call in a real page must
// hand the page function exactly the answer's text, and run nothing else.
// Built once per web engine: each parses the literal with its own script
// engine (JavaScriptCore, V8).
#include "scriptstring.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QVariant>
#include <QVector>
#ifdef MELODRIFT_FUZZ_WEBENGINE
#include <QWebEnginePage>
#else
#include <QWebFrame>
#include <QWebPage>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

namespace {

#ifdef MELODRIFT_FUZZ_WEBENGINE
QWebEnginePage *page = nullptr;
#else
QWebPage *page = nullptr;
#endif

// The page records every argument and returns a token, so a literal that
// ends early and smuggles in more script changes the call count, the
// argument or the script's value.
const char pageHtml[] = "<html><body><script>"
                        "var seen = [];"
                        "function process_youtube(text) { seen.push(text); return 'recorded'; }"
                        "</script></body></html>";

[[noreturn]] void fail(const char *what, const QString &text)
{
    std::fprintf(stderr, "script literal property broken: %s\ntext (UTF-16 hex): %s\n", what,
                 QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2).toHex().constData());
    std::abort();
}

// The script's value, waited for where the engine answers later. A page
// that never answers is a failure of its own, not a pass.
QVariant evaluate(const QString &script)
{
#ifdef MELODRIFT_FUZZ_WEBENGINE
    struct Answer
    {
        bool came = false;
        QVariant value;
    };
    auto answer = std::make_shared<Answer>();
    page->runJavaScript(script, [answer](const QVariant &value) {
        answer->came = true;
        answer->value = value;
    });
    QElapsedTimer clock;
    clock.start();
    while (!answer->came && clock.elapsed() < 8000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    if (!answer->came) {
        std::fprintf(stderr, "the page gave no answer\n");
        std::abort();
    }
    return answer->value;
#else
    return page->mainFrame()->evaluateJavaScript(script);
#endif
}

void check(const QString &text)
{
    const QString literal = ScriptString::literal(text);
    for (const QChar c : literal) {
        const ushort u = c.unicode();
        if (u == '\n' || u == '\r' || u == 0x2028 || u == 0x2029 || u == '<')
            fail("the literal holds a raw line break or '<'", text);
    }
    const QVariant result = evaluate(QStringLiteral("process_youtube(") + literal + QStringLiteral(")"));
    // Read what the page recorded and clear it for the next input in one go.
    // The text comes back as its UTF-16 code units: QtWebEngine hands a
    // string result over as UTF-8, which has no room for a lone surrogate.
    const QVariantList record = evaluate(QStringLiteral("(function () { var r = [seen.length, typeof seen[0], []];"
                                                        " for (var i = 0; seen.length && i < seen[0].length; ++i)"
                                                        " r[2].push(seen[0].charCodeAt(i)); seen = []; return r; })()"))
                                    .toList();
    if (result.toString() != QLatin1String("recorded"))
        fail("the call did not return the page function's value", text);
    if (record.size() != 3 || record.at(0).toInt() != 1)
        fail("the page function did not run exactly once", text);
    if (record.at(1).toString() != QLatin1String("string"))
        fail("the page function did not receive a string", text);
    const QVariantList units = record.at(2).toList();
    bool same = units.size() == text.size();
    for (int i = 0; same && i < units.size(); ++i)
        same = units.at(i).toInt() == text.at(i).unicode();
    if (!same)
        fail("the page function received other text", text);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_scriptstring";
    static char *argv[] = {name, nullptr};
#ifdef MELODRIFT_FUZZ_WEBENGINE
    // Chromium draws with contexts shared with the application's. Its
    // sandbox is left to the environment: scripts/fuzz.sh turns it off
    // only where it cannot start (as root).
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    new QApplication(argc, argv);
    page = new QWebEnginePage;
#else
    new QApplication(argc, argv);
    page = new QWebPage;
#endif
    // setHtml may finish loading before it returns, or later.
    bool loaded = false;
    QObject::connect(page, &std::remove_pointer_t<decltype(page)>::loadFinished, [&loaded] { loaded = true; });
#ifdef MELODRIFT_FUZZ_WEBENGINE
    page->setHtml(QString::fromLatin1(pageHtml));
#else
    page->mainFrame()->setHtml(QString::fromLatin1(pageHtml));
#endif
    QElapsedTimer clock;
    clock.start();
    while (!loaded && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (evaluate(QStringLiteral("typeof process_youtube")).toString() != QLatin1String("function")) {
        std::fprintf(stderr, "the fuzzing page did not load\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    check(ScriptString::answerText(body));
    // The literal must also hold for any text, not only Latin-1 answers:
    // the same bytes as UTF-16 code units, lone surrogates included.
    QVector<ushort> units(int(size / 2));
    if (!units.isEmpty())
        std::memcpy(units.data(), data, size_t(units.size()) * 2);
    check(QString::fromUtf16(units.constData(), units.size()));
    return 0;
}
