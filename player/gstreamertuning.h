#ifndef GSTREAMERTUNING_H
#define GSTREAMERTUNING_H

// Adjustments to GStreamer that Phonon's GStreamer back end needs to play
// network media in this application. Both do nothing when GStreamer has not
// been initialised, so they are safe under any back end, and both may be
// called before every new source.
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
// what it needs without flushing the decoders. The hook that asks for it
// acts only on the player's own pipelines (see PlayerCall), never on the web
// engine's, and keeps the file to a ring of maxDownloadBytes, so that a
// stream of unknown or endless length is not written without bound.
// Returns whether the hook is in place.
bool downloadNetworkMedia();

constexpr unsigned long long maxDownloadBytes = 64ull * 1024 * 1024;

// Phonon's GStreamer back end sets up a pipeline's source within the call
// that asks the pipeline to play or pause. While one of these lives, a
// pipeline that sets up a source on the same thread is marked as the
// player's, for the life of that pipeline.
class PlayerCall
{
public:
    PlayerCall();
    ~PlayerCall();
    PlayerCall(const PlayerCall &) = delete;
    PlayerCall &operator=(const PlayerCall &) = delete;
};

} // namespace GStreamerTuning

#endif // GSTREAMERTUNING_H
