#include "pagebridge.h"

#include "channelendpoint.h"
#include "webenginepage.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaMethod>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <utility>

namespace {

// As many as QMetaMethod::invoke() passes.
const int maxArguments = 10;

const char worldScriptName[] = "melodrift-world";
const char stubScriptName[] = "melodrift-stub";

// Which document the main frame shows, as the isolated world knows it.
const char shownDocumentScript[] =
    "(function () { var m = window.__melodrift; return [m ? m.doc : '', location.href]; })()";

QString resourceText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The web engine's page scripts are missing: %s", qPrintable(path));
    return QString::fromUtf8(file.readAll());
}

QString json(const QJsonValue &value)
{
    // A JSON text is a script literal too.
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

bool takesStringsOnly(const QMetaMethod &method)
{
    for (int i = 0; i < method.parameterCount(); ++i) {
        if (method.parameterType(i) != QMetaType::QString)
            return false;
    }
    return true;
}

// What page script may call: the public slots the object's own classes
// declare (not QObject's), one per name, the one taking strings where a
// name has several, since strings are all page script passes.
QList<QMetaMethod> pageSlots(const QMetaObject *meta)
{
    QList<QMetaMethod> found;
    for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Public
            || method.parameterCount() > maxArguments || !takesStringsOnly(method))
            continue;
        const bool named = std::any_of(found.cbegin(), found.cend(),
                                       [&method](const QMetaMethod &m) { return m.name() == method.name(); });
        if (!named)
            found.append(method);
    }
    return found;
}

QMetaMethod pageSlot(const QMetaObject *meta, const QString &name)
{
    for (const QMetaMethod &method : pageSlots(meta)) {
        if (QLatin1String(method.name()) == name)
            return method;
    }
    return QMetaMethod();
}

QWebEngineScript script(const char *name, const QString &source, quint32 world)
{
    QWebEngineScript s;
    s.setName(QLatin1String(name));
    s.setSourceCode(source);
    s.setWorldId(world);
    // Before the page's own scripts, and in no frame inside the page.
    s.setInjectionPoint(QWebEngineScript::DocumentCreation);
    s.setRunsOnSubFrames(false);
    return s;
}

} // namespace

PageBridge::PageBridge(WebEnginePage *page, QObject *parent)
    : QObject(parent)
    , page(page)
    , endpoint(new ChannelEndpoint(this))
{
    channel.registerObject(QStringLiteral("endpoint"), endpoint);
    // Only the program's isolated world gets the channel's transport:
    // page script never sees it, and cannot break or reuse it.
    page->setWebChannel(&channel, QWebEngineScript::ApplicationWorld);
    connect(endpoint, &ChannelEndpoint::called, this, &PageBridge::receive);
}

PageBridge::~PageBridge() = default;

void PageBridge::publish(const QString &name, std::function<QObject *()> object, const PageTrust &trust)
{
    publishedObject = std::move(object);
    this->trust = trust;
    QList<QPair<QString, int>> pageInterface;
    for (const QMetaMethod &method : pageSlots(publishedObject()->metaObject()))
        pageInterface.append({QString::fromLatin1(method.name()), method.parameterCount()});
    installScripts(name, pageInterface);
}

// For every document from the next one on; the one shown keeps what it has.
void PageBridge::installScripts(const QString &name, const QList<QPair<QString, int>> &pageInterface)
{
    QJsonArray slotList;
    for (const auto &entry : pageInterface)
        slotList.append(QJsonArray{entry.first, entry.second});
    const QString rule = json(trust->rule());
    const QString description = rule + json(name) + json(slotList);
    if (description == published)
        return;
    published = description;

    // The page's data goes in last, so nothing in it is taken for a placeholder.
    QString world = resourceText(QStringLiteral(":/webengine/worldbootstrap.js"));
    world.replace(QLatin1String("MELODRIFT_QWEBCHANNEL"),
                  resourceText(QStringLiteral(":/qtwebchannel/qwebchannel.js")));
    world.replace(QLatin1String("MELODRIFT_RULE"), rule);
    QString stub = resourceText(QStringLiteral(":/webengine/pagestub.js"));
    stub.replace(QLatin1String("MELODRIFT_SLOTS"), json(slotList));
    stub.replace(QLatin1String("MELODRIFT_NAME"), json(name));

    QWebEngineScriptCollection &scripts = page->scripts();
    for (const char *old : {worldScriptName, stubScriptName}) {
        for (const QWebEngineScript &s : scripts.findScripts(QLatin1String(old)))
            scripts.remove(s);
    }
    scripts.insert(script(worldScriptName, world, QWebEngineScript::ApplicationWorld));
    scripts.insert(script(stubScriptName, stub, QWebEngineScript::MainWorld));
}

void PageBridge::receive(const QString &document, const QString &name, const QVariantList &arguments)
{
    arrived.append({document, name, arguments});
    verifyArrived();
}

// Calls arrive after the fact: the page that made one may have gone. All
// that arrived are checked with one look at the document shown now; those
// arriving meanwhile wait for the next look.
void PageBridge::verifyArrived()
{
    if (verifying || arrived.isEmpty())
        return;
    verifying = true;
    const QList<Call> calls = std::exchange(arrived, {});
    page->evaluate(QLatin1String(shownDocumentScript), QWebEngineScript::ApplicationWorld,
                   [this, calls](const QVariant &shown) {
                       verifying = false;
                       verified(calls, shown);
                       verifyArrived();
                   });
}

void PageBridge::verified(const QList<Call> &calls, const QVariant &shown)
{
    const QString document = shown.toList().value(0).toString();
    const QUrl address(shown.toList().value(1).toString());
    const bool trusted = trust && trust->trusts(address) && trust->trusts(page->url());
    for (const Call &call : calls) {
        if (trusted && !document.isEmpty() && call.document == document)
            ready.append(call);
        else
            qDebug() << "Call from a page no longer shown dropped:" << call.name << page->url().host();
    }
    runVerified();
}

// In the order the page made them. A slot may run an event loop of its
// own (a message box), in which later calls are verified: they wait for it.
void PageBridge::runVerified()
{
    if (running)
        return;
    running = true;
    while (!ready.isEmpty()) {
        const Call call = ready.takeFirst();
        if (trust->trusts(page->url()))
            dispatch(call);
        else
            qDebug() << "Call from a page no longer shown dropped:" << call.name << page->url().host();
    }
    running = false;
}

void PageBridge::dispatch(const Call &call)
{
    QObject *object = publishedObject();
    const QMetaMethod slot = pageSlot(object->metaObject(), call.name);
    // The page's stub passes exactly the slot's strings (null for a missing
    // value); anything else did not come from it.
    bool wellFormed = slot.isValid() && call.arguments.size() == slot.parameterCount();
    QStringList arguments;
    for (const QVariant &argument : call.arguments) {
        wellFormed = wellFormed && (argument.isNull() || argument.userType() == QMetaType::QString);
        arguments.append(argument.userType() == QMetaType::QString ? argument.toString() : QString());
    }
    if (!wellFormed) {
        qDebug() << "Call refused, no such slot or not its arguments:" << call.name;
        return;
    }
    QGenericArgument passed[maxArguments];
    for (int i = 0; i < arguments.size(); ++i)
        passed[i] = Q_ARG(QString, arguments.at(i));
    slot.invoke(object, Qt::DirectConnection, passed[0], passed[1], passed[2], passed[3], passed[4], passed[5],
                passed[6], passed[7], passed[8], passed[9]);
}
