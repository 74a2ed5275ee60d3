#include "testenvironment.h"
#include "titlebar.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTimeLine>

namespace {

// Distinct from any style's defaults, so a pixel's colour tells which of the
// two the bar painted there.
const QColor fillColour(10, 40, 160);
const QColor textColour(250, 220, 20);

// Qt may fire a coarse 1000 ms timer up to 5 % early.
const int earliestTimeout = 940;

// How the idle bar should look: its colour, and the text in the bar inset 16
// pixels on the left and 5 on the right, vertically centred.
class IdleLook : public QWidget
{
public:
    IdleLook(const QString &text, QWidget *parent)
        : QWidget(parent)
        , text(text)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), fillColour);
        painter.setPen(textColour);
        painter.drawText(QRect(QPoint(16, 0), QPoint(width() - 6, height() - 1)), Qt::AlignLeft | Qt::AlignVCenter,
                         text);
    }

private:
    QString text;
};

} // namespace

class TestTitleBar : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void slidesOutOneSecondAfterIdle();
    void slideEndsAtMinusHeight_data();
    void slideEndsAtMinusHeight();
    void secondIdleReportRestartsDelay();
    void progressWithinDelayKeepsBar();
    void timeoutWhileLoadingChangesNothing();
    void progressBringsHiddenBarBack();
    void negativeProgressShowsButPaintsIdle();
    void titleIsAlwaysProductName();
    void progressBoxPixels_data();
    void progressBoxPixels();

private:
    // Milliseconds from now until the bar first leaves y = 0, or -1.
    qint64 msUntilSlide(int timeoutMs);
    // Reports 0, then, some 300 ms later, percent. False when the machine was
    // too slow to place the second report well within the 1000 ms delay.
    bool idleThenWithinDelay(int percent);
    QImage render();
    QImage reference(const QString &text);

    QWidget *host = nullptr;
    TitleBar *bar = nullptr;
};

void TestTitleBar::init()
{
    host = new QWidget;
    host->resize(640, 480);
    bar = new TitleBar(host);
    bar->resize(640, 20);
    QPalette palette = bar->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Highlight, fillColour);
        palette.setColor(group, QPalette::HighlightedText, textColour);
    }
    bar->setPalette(palette);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host));
}

void TestTitleBar::cleanup()
{
    delete host;
    host = nullptr;
    bar = nullptr;
}

qint64 TestTitleBar::msUntilSlide(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (bar->y() != 0)
            return clock.elapsed();
        QTest::qWait(2);
    }
    return -1;
}

bool TestTitleBar::idleThenWithinDelay(int percent)
{
    for (int round = 0; round < 3; ++round) {
        bar->setProgress(1);
        QElapsedTimer clock;
        clock.start();
        bar->setProgress(0);
        QTest::qWait(300);
        if (clock.elapsed() < 800) {
            bar->setProgress(percent);
            return true;
        }
    }
    return false;
}

QImage TestTitleBar::render()
{
    return bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage TestTitleBar::reference(const QString &text)
{
    // Painted through a widget as the bar is, so glyphs are hinted alike.
    IdleLook look(text, host);
    look.setGeometry(bar->geometry());
    look.setFont(bar->font());
    return look.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void TestTitleBar::slidesOutOneSecondAfterIdle()
{
    bar->setProgress(30);
    QElapsedTimer clock;
    clock.start();
    bar->setProgress(0);
    QCOMPARE(bar->pos(), QPoint(0, 0));
    const qint64 after = msUntilSlide(6000);
    QVERIFY2(after >= 0, "the bar never moved");
    QVERIFY2(clock.elapsed() >= earliestTimeout, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(after >= earliestTimeout, qPrintable(QString::number(after)));
    QVERIFY2(after < 4000, qPrintable(QString::number(after)));
}

void TestTitleBar::slideEndsAtMinusHeight_data()
{
    QTest::addColumn<int>("height");
    QTest::newRow("20") << 20;
    QTest::newRow("37") << 37;
}

void TestTitleBar::slideEndsAtMinusHeight()
{
    QFETCH(int, height);
    bar->resize(640, height);
    bar->setProgress(0);
    QTRY_COMPARE_WITH_TIMEOUT(bar->y(), -height, 6000);
    QCOMPARE(bar->x(), 0);
    // Nothing moves it further once there.
    QTest::qWait(300);
    QCOMPARE(bar->pos(), QPoint(0, -height));
}

void TestTitleBar::secondIdleReportRestartsDelay()
{
    // A loaded machine may sleep too long between the two reports for the
    // result to tell anything; such a round is tried again.
    for (int round = 0; round < 3; ++round) {
        bar->move(0, 0);
        bar->setProgress(10);
        QElapsedTimer clock;
        clock.start();
        bar->setProgress(0);
        QTest::qWait(500);
        const qint64 second = clock.elapsed();
        if (bar->y() != 0 || second > 800)
            continue;
        bar->setProgress(0);
        const qint64 after = msUntilSlide(6000);
        QVERIFY2(after >= 0, "the bar never moved");
        QVERIFY2(after >= earliestTimeout, qPrintable(QStringLiteral("slid %1 ms after the second report").arg(after)));
        return;
    }
    QSKIP("the machine was too slow to place the second report within the delay");
}

void TestTitleBar::progressWithinDelayKeepsBar()
{
    auto *timeLine = bar->findChild<QTimeLine *>();
    QVERIFY(timeLine);
    QSignalSpy slideFrames(timeLine, &QTimeLine::frameChanged);

    if (!idleThenWithinDelay(35))
        QSKIP("the machine was too slow to report within the delay");
    QTest::qWait(1700);
    QCOMPARE(bar->pos(), QPoint(0, 0));
    QCOMPARE(slideFrames.count(), 0);
}

void TestTitleBar::timeoutWhileLoadingChangesNothing()
{
    bar->setProgress(40);
    QVERIFY(QMetaObject::invokeMethod(bar, "slotStartHiding"));
    QTest::qWait(200);
    QCOMPARE(bar->pos(), QPoint(0, 0));
}

void TestTitleBar::progressBringsHiddenBarBack()
{
    bar->setProgress(0);
    QTRY_COMPARE_WITH_TIMEOUT(bar->y(), -20, 6000);
    bar->setProgress(1);
    QCOMPARE(bar->pos(), QPoint(0, 0));
    // And stays: the finished slide does not run again.
    QTest::qWait(1500);
    QCOMPARE(bar->pos(), QPoint(0, 0));
}

void TestTitleBar::negativeProgressShowsButPaintsIdle()
{
    bar->setProgress(0);
    QTRY_COMPARE_WITH_TIMEOUT(bar->y(), -20, 6000);
    bar->setProgress(-1);
    QCOMPARE(bar->pos(), QPoint(0, 0));

    // The idle delay is cancelled as for any other non-zero value.
    if (!idleThenWithinDelay(-5))
        QSKIP("the machine was too slow to report within the delay");
    QTest::qWait(1500);
    QCOMPARE(bar->pos(), QPoint(0, 0));

    bar->setTitle(QStringLiteral("whatever"));
    QCOMPARE(render(), reference(QStringLiteral("Melodrift")));
}

void TestTitleBar::titleIsAlwaysProductName()
{
    // Before any title is passed the bar is blank.
    QImage blank(bar->size(), QImage::Format_RGB32);
    blank.fill(fillColour);
    QCOMPARE(render(), blank);

    bar->setHost(QStringLiteral("127.0.0.1"));
    QCOMPARE(render(), blank);

    for (const QString &pageTitle : {QStringLiteral("Melodrift Charts"), QString(), QStringLiteral("x")}) {
        bar->setTitle(pageTitle);
        const QImage drawn = render();
        QVERIFY(drawn != blank);
        QCOMPARE(drawn, reference(QStringLiteral("Melodrift")));
        if (!pageTitle.isEmpty())
            QVERIFY(drawn != reference(pageTitle));
    }
}

void TestTitleBar::progressBoxPixels_data()
{
    QTest::addColumn<int>("percent");
    QTest::newRow("40") << 40;
    QTest::newRow("1") << 1;
    QTest::newRow("100") << 100;
}

void TestTitleBar::progressBoxPixels()
{
    QFETCH(int, percent);
    QCOMPARE(bar->size(), QSize(640, 20));
    bar->setTitle(QString());
    bar->setProgress(percent);
    const QImage image = render();

    // On a 640 x 20 bar the box's outline spans x 535 to 634 and y 1 to 16;
    // one percent fills one pixel column of it from x 535 on.
    for (int y = 0; y < 20; ++y) {
        for (int x = 520; x < 640; ++x) {
            const bool inBox = x >= 535 && x <= 634 && y >= 1 && y <= 16;
            const bool outline = inBox && (x == 535 || x == 634 || y == 1 || y == 16);
            const bool filled = inBox && x < 535 + percent;
            const QColor expected = outline || filled ? textColour : fillColour;
            QVERIFY2(QColor(image.pixel(x, y)) == expected,
                     qPrintable(QStringLiteral("at %1, %2 at %3 percent").arg(x).arg(y).arg(percent)));
        }
    }
}

MELODRIFT_TEST_MAIN(TestTitleBar)
#include "test_titlebar.moc"
