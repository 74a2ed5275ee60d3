// A lookup answer reaches the page as process_youtube(<literal>). Whatever
// bytes the lookup service sends, evaluating that call in a real page must
// hand the page function exactly the answer's text, and run nothing else.
#include "scriptstring.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QVariant>
#include <QVector>
#include <QWebFrame>
#include <QWebPage>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

QWebPage *page = nullptr;

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

void check(const QString &text)
{
    const QString literal = ScriptString::literal(text);
    for (const QChar c : literal) {
        const ushort u = c.unicode();
        if (u == '\n' || u == '\r' || u == 0x2028 || u == 0x2029 || u == '<')
            fail("the literal holds a raw line break or '<'", text);
    }
    QWebFrame *frame = page->mainFrame();
    const QVariant result =
        frame->evaluateJavaScript(QStringLiteral("process_youtube(") + literal + QStringLiteral(")"));
    // Read what the page recorded and clear it for the next input in one go.
    const QVariantList record =
        frame
            ->evaluateJavaScript(QStringLiteral(
                "(function () { var r = [seen.length, typeof seen[0], seen[0]]; seen = []; return r; })()"))
            .toList();
    if (result.toString() != QLatin1String("recorded"))
        fail("the call did not return the page function's value", text);
    if (record.size() != 3 || record.at(0).toInt() != 1)
        fail("the page function did not run exactly once", text);
    if (record.at(1).toString() != QLatin1String("string"))
        fail("the page function did not receive a string", text);
    if (record.at(2).toString() != text)
        fail("the page function received other text", text);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_scriptstring";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    page = new QWebPage;
    // setHtml may finish loading before it returns, or later.
    bool loaded = false;
    QObject::connect(page, &QWebPage::loadFinished, [&loaded] { loaded = true; });
    page->mainFrame()->setHtml(QString::fromLatin1(pageHtml));
    QElapsedTimer clock;
    clock.start();
    while (!loaded && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (page->mainFrame()->evaluateJavaScript(QStringLiteral("typeof process_youtube")).toString()
        != QLatin1String("function")) {
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
