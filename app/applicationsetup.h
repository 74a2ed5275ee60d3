#ifndef APPLICATIONSETUP_H
#define APPLICATIONSETUP_H

// What the process sets up once the application object exists and before
// any window: settings kept as INI files, the id the desktop knows the
// application by, icons drawn for scaled screens, the texts in the user's
// language. Apart from the main window, so that parts tested on their own
// get the same without the page host and its web engine.
namespace ApplicationSetup {
void prepare();
} // namespace ApplicationSetup

#endif // APPLICATIONSETUP_H
