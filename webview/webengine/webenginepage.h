#ifndef WEBENGINEPAGE_H
#define WEBENGINEPAGE_H

#include <QHash>
#include <QVariant>
#include <QWebEnginePage>

#include <functional>
#include <memory>

// The chart page in Chromium, with what the chart page has under QtWebKit:
// page script and plug-ins on, the identity and the console messages of
// the design, no prompt for the page's own authentication or certificate
// questions (both refused), no new windows, and the page's own media
// playing without a click. It also keeps script evaluation away from a
// renderer that has died: one evaluation sent to a dead renderer stops
// evaluation on this page for good.
class WebEnginePage : public QWebEnginePage
{
    Q_OBJECT
public:
    WebEnginePage(QWebEngineProfile *profile, QObject *parent);
    ~WebEnginePage() override;

    // Runs script in world of the main frame's document; done gets the
    // result, or an invalid value when the renderer is gone.
    void evaluate(QString script, quint32 world, std::function<void(const QVariant &)> done = {});
    // Between the renderer's death and the end of the next load.
    bool rendererDead() const { return dead; }

signals:
    // The renderer died while the page was shown; a zero-timer turn later,
    // so whatever it triggers is out of the engine's own signal.
    void rendererLost();

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;
    bool certificateError(const QWebEngineCertificateError &error) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    void rendererTerminated(RenderProcessTerminationStatus status);

    bool dead = false;
    bool loadSinceDeath = false;
    quint64 lastEvaluation = 0;
    // Held apart: Chromium calls back from the base class's destructor,
    // after the members of this class are gone.
    using Answers = QHash<quint64, std::function<void(const QVariant &)>>;
    std::shared_ptr<Answers> waiting = std::make_shared<Answers>();
};

#endif // WEBENGINEPAGE_H
