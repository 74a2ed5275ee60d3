#ifndef GSTREAMERREGISTRY_H
#define GSTREAMERREGISTRY_H

namespace GStreamerRegistry {

// QtWebKit registers its own HTTP source element, "webkitwebsrc", above the
// stock one. In a process that hosts the web engine, Phonon's GStreamer back
// end then builds pipelines with it, and that element waits for the GUI
// thread which the back end blocks while it changes state: the window
// freezes. Lowering its rank to none before a player starts avoids it.
// Does nothing when GStreamer has not been initialised or the element is not
// registered. Returns whether the element was found and demoted.
bool demoteWebKitSource();

} // namespace GStreamerRegistry

#endif // GSTREAMERREGISTRY_H
