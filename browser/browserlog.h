#ifndef BROWSERLOG_H
#define BROWSERLOG_H

#include <QLoggingCategory>

// The page host's own diagnostics: what it refused the page and why. On by
// default, as a refusal is what someone looking into a page that misbehaves
// wants to see; QT_LOGGING_RULES="melodrift.browser.debug=false" silences it.
Q_DECLARE_LOGGING_CATEGORY(lcBrowser)

#endif // BROWSERLOG_H
