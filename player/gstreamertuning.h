#ifndef GSTREAMERTUNING_H
#define GSTREAMERTUNING_H

// Process-wide adjustments to GStreamer that Phonon's GStreamer back end needs
// to play network media in this application. Both do nothing when GStreamer
// has not been initialised, so they are safe under any back end, and both may
// be called before every new source.
namespace GStreamerTuning {

// QtWebKit registers its own HTTP source element, "webkitwebsrc", above the
// stock one. In a process that hosts the web engine, Phonon's GStreamer back
// end then builds pipelines with it, and that element waits for the GUI
// thread which the back end blocks while it changes state: the window
// freezes. Lowering its rank to none before a player starts avoids it.
// Returns whether the element was found and demoted.
bool demoteWebKitSource();

// Streamed over HTTP, an Ogg file is read in push mode: the demuxer seeks to
// the end for the duration and back, and the flush of the second seek can
// reach the decoder while it negotiates its output. GStreamer 1.22 then fails
// the stream with "Could not decode stream." (about one start in four here).
// Downloading network media into a temporary file first lets the demuxer pull
// what it needs without flushing the decoders. Returns whether the hook that
// asks for it is in place.
bool downloadNetworkMedia();

} // namespace GStreamerTuning

#endif // GSTREAMERTUNING_H
