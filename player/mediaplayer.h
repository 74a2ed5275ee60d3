#ifndef MEDIAPLAYER_H
#define MEDIAPLAYER_H

#include "phononport.h"
#include "playbackcorrector.h"

#include <QIcon>
#include <QWidget>

#include <phonon/AudioOutput>
#include <phonon/MediaObject>
#include <phonon/MediaSource>
#include <phonon/Path>

#include <memory>

class QAction;
class QDialog;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QLabel;
class QMenu;
class QPaintEvent;
class QPushButton;

namespace Phonon {
class Effect;
class SeekSlider;
class VolumeSlider;
} // namespace Phonon

class MediaVideoWidget;

namespace Ui {
class settings;
}

// One media player window: plays one source through Phonon with a queue of
// further sources behind it, and mirrors the media object's state in its
// controls.
class MediaPlayer : public QWidget
{
    Q_OBJECT

public:
    explicit MediaPlayer(QWidget *parent = nullptr);
    ~MediaPlayer() override;

    void playLocation(const QString &location);
    void playFile(const QString &fileName);
    void setCompactMode(bool on);
    bool pauseForDialog();
    // What the player shows: the media object's state, except where the back
    // end reported a change late.
    Phonon::State state() const { return playback.state(); }
    // Plays nothing, and will not by itself: stopped with no source on its
    // way, or its source given up.
    bool isIdle() const { return playback.isIdle(); }
    void handleDrop(QDropEvent *event);

    // The desktop's media controls steer the player as its own buttons do:
    // play, pause and seek by these, the volume on the audio output, as the
    // volume slider does.
    void play();
    void pause();
    // To position in milliseconds; paused media stay paused.
    void seek(qint64 position);
    // Where the media stand, in milliseconds (where a seek goes, until the
    // back end has got there).
    qint64 position() const { return playback.position(); }
    Phonon::MediaObject *media() { return &mediaObject; }
    Phonon::AudioOutput *output() { return &audioOutput; }

signals:
    void done();
    void play_finished();
    // What state() returns has changed.
    void shownStateChanged(Phonon::State state);
    // A source was made current to play: by the page, a drop, a dialog or
    // the forward button.
    void sourceOpened();

public slots:
    void openFile();
    void stop();
    void rewind();
    void forward();
    void updateInfo();
    void updateTime();
    void finished();
    void playPause();
    void scaleChanged(QAction *action);
    void aspectChanged(QAction *action);

private slots:
    void setAspect(int);
    void setScale(int);
    void setSaturation(int);
    void setContrast(int);
    void setHue(int);
    void setBrightness(int);
    void stateChanged(Phonon::State newstate, Phonon::State oldstate);
    void effectChanged();
    void showSettingsDialog();
    void showContextMenu(const QPoint &point);
    void bufferStatus(int percent);
    void openUrl();
    void openRamFile();
    void configureEffect();
    void hasVideoChanged(bool);
    void onMutedChanged(bool);
    void onVolumeChanged(qreal);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void nameControls();
    void orderControls();
    void showPlayable(bool playing);
    void buildContextMenu();
    void setupVideoWindow();
    void connectMedia();
    void routeSliderSeeks();
    void playSources(const QList<Phonon::MediaSource> &sources, const QString &firstLocation);
    void buildSettingsDialog();
    void applySettings();
    void reportFailure(const QString &message);

    QIcon playIcon;
    QIcon pauseIcon;
    QMenu *contextMenu = nullptr;
    QPushButton *stopButton = nullptr;
    QPushButton *playButton = nullptr;
    QPushButton *rewindButton = nullptr;
    QPushButton *forwardButton = nullptr;
    Phonon::SeekSlider *seekSlider = nullptr;
    QLabel *timeLabel = nullptr;
    QLabel *progressLabel = nullptr;
    Phonon::VolumeSlider *volumeSlider = nullptr;
    QLabel *infoLabel = nullptr;
    // The effect chosen in the settings dialog: the one in audioOutputPath
    // after an OK there, or a new one not yet inserted.
    Phonon::Effect *pendingEffect = nullptr;
    QDialog *settingsDialog = nullptr;
    std::unique_ptr<Ui::settings> settingsForm;
    QAction *fullScreenAction = nullptr;
    QAction *settingsAction = nullptr;
    QWidget videoWindow;
    Phonon::MediaObject mediaObject;
    Phonon::AudioOutput audioOutput;
    MediaVideoWidget *videoWidget;
    Phonon::Path audioOutputPath;
    bool compactMode = false;
    // Starts sources on mediaObject, seeks it, and says what to show of it,
    // the back ends' faults corrected.
    PhononPort backEnd;
    PlaybackCorrector playback;

    // Tests reach the controls through this accessor.
    friend class MediaPlayerProbe;
};

#endif // MEDIAPLAYER_H
