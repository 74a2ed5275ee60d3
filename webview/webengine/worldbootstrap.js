// Runs in the program's own isolated world of every main-frame document,
// before any script of the page. Page script cannot reach this world: not
// its globals, not its builtins, not the channel's transport, not the
// document's address as this world reads it.
(function () {
    'use strict';
    var rule = MELODRIFT_RULE;

    // As under QtWebKit, the page never shows a horizontal scroll bar.
    try {
        var sheet = new CSSStyleSheet();
        sheet.replaceSync('html { overflow-x: hidden !important; }');
        document.adoptedStyleSheets = [sheet];
    } catch (e) {
    }

    // The program's trust rule, from the program's own description of it. It
    // only decides what this document sees; the program judges every call
    // again. A public suffix below the chart service's own domain would make
    // it too generous, and such a document's calls are then all dropped.
    function trusted() {
        if (location.href === rule.errorPage)
            return true;
        var scheme = location.protocol;
        if (scheme !== 'http:' && scheme !== 'https:')
            return false;
        if (rule.httpsOnly && scheme !== 'https:')
            return false;
        var host = location.hostname.toLowerCase();
        if (host.charAt(0) === '[')
            host = host.slice(1, -1);
        if (host.slice(-1) === '.')
            host = host.slice(0, -1);
        if (!host)
            return false;
        var defaultPort = scheme === 'https:' ? 443 : 80;
        var port = location.port ? Number(location.port) : defaultPort;
        for (var i = 0; i < rule.extraHosts.length; ++i) {
            var extra = rule.extraHosts[i];
            var wanted = extra.port === 0 ? defaultPort : extra.port;
            if (extra.name === host && (extra.port < 0 || wanted === port))
                return true;
        }
        if (!rule.startHost)
            return false;
        if (rule.exactOrigin)
            return host === rule.startHost && port === rule.startPort;
        if (host === rule.startHost)
            return true;
        var domain = rule.domain;
        return domain !== '' && (host === domain || host.slice(-domain.length - 1) === '.' + domain);
    }

    var words = new Uint32Array(4);
    crypto.getRandomValues(words);
    var doc = Array.prototype.map.call(words, function (w) {
        return ('0000000' + w.toString(16)).slice(-8);
    }).join('');
    var ok = trusted();
    // What the program reads to learn which document a call came from.
    Object.defineProperty(window, '__melodrift', {value: Object.freeze({doc: doc, trusted: ok})});

    // Tells the page world's stub whether to define the object. Either script
    // may run first: each says it is there, and the one that comes second
    // completes the exchange.
    function announce() {
        return !window.dispatchEvent(new CustomEvent('melodrift-world', {detail: ok, cancelable: true}));
    }
    function onHello(e) {
        e.stopImmediatePropagation();
        window.removeEventListener('melodrift-hello', onHello, true);
        announce();
    }
    if (!announce())
        window.addEventListener('melodrift-hello', onHello, true);
    if (!ok)
        return;

    var transport = window.qt && window.qt.webChannelTransport;
    if (!transport)
        return;

    // QtWebChannel's own client, kept inside this function.
    MELODRIFT_QWEBCHANNEL

    // Calls arrive as events the stub dispatches on the window. Listening
    // before any page script, this world hears them first and alone. Calls
    // made before the channel is ready wait here, in order.
    var waiting = [];
    var endpoint = null;
    window.addEventListener('melodrift-call', function (e) {
        e.stopImmediatePropagation();
        var call = e.detail;
        if (!Array.isArray(call) || typeof call[0] !== 'string' || !Array.isArray(call[1]))
            return;
        if (endpoint)
            endpoint.call(doc, call[0], call[1]);
        else
            waiting.push(call);
    }, true);
    new QWebChannel(transport, function (channel) {
        endpoint = channel.objects.endpoint;
        waiting.forEach(function (call) {
            endpoint.call(doc, call[0], call[1]);
        });
        waiting = null;
    });
})();
