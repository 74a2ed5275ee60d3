// Runs in the page's own world of every main-frame document, before the
// page's scripts, so the builtins it keeps are still the engine's own.
// Defines the published object only when the program's world says this
// document may hold it. Each function hands its call over and returns
// nothing, as the object's slots return nothing; arguments are taken as
// QtWebKit takes them for a slot of strings.
(function () {
    'use strict';
    var name = MELODRIFT_NAME;
    var slots = MELODRIFT_SLOTS; // [name, number of arguments] in the object's order
    var win = window;
    var dispatch = EventTarget.prototype.dispatchEvent;
    var listen = EventTarget.prototype.addEventListener;
    var unlisten = EventTarget.prototype.removeEventListener;
    var Custom = CustomEvent;
    var Fault = Error;
    var text = String;
    var freeze = Object.freeze;
    var define = Object.defineProperty;

    function slot(slotName, count) {
        return function () {
            if (arguments.length < count)
                throw new Fault('too few arguments in call to ' + slotName + '()');
            var args = [];
            for (var i = 0; i < count; ++i) {
                var value = arguments[i];
                if (typeof value === 'symbol')
                    throw new Fault('incompatible type of argument(s) in call to ' + slotName + '()');
                args[i] = value === null || value === undefined ? null : text(value);
            }
            dispatch.call(win, new Custom('melodrift-call', {detail: [slotName, args]}));
        };
    }

    function install() {
        var object = {};
        for (var i = 0; i < slots.length; ++i)
            object[slots[i][0]] = slot(slots[i][0], slots[i][1]);
        define(win, name, {value: freeze(object), enumerable: true, writable: true, configurable: true});
    }

    function onWorld(e) {
        e.stopImmediatePropagation();
        e.preventDefault();
        unlisten.call(win, 'melodrift-world', onWorld, true);
        if (e.detail === true)
            install();
    }
    listen.call(win, 'melodrift-world', onWorld, true);
    dispatch.call(win, new Custom('melodrift-hello'));
})();
