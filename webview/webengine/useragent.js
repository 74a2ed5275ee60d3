// Runs in the page's own world of every document, frames included, before
// the page's scripts. Chromium drops the trailing blank of the identity
// from the requests it makes; page script still reads it whole.
(function () {
    'use strict';
    var agent = MELODRIFT_USER_AGENT;
    var define = Object.defineProperty;
    define(Navigator.prototype, 'userAgent', {
        get: function () {
            return agent;
        },
        enumerable: true,
        configurable: true
    });
    define(Navigator.prototype, 'appVersion', {
        get: function () {
            return agent.slice('Mozilla/'.length);
        },
        enumerable: true,
        configurable: true
    });
})();
