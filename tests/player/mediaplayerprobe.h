#ifndef MEDIAPLAYERPROBE_H
#define MEDIAPLAYERPROBE_H

#include "mediaplayer.h"
#include "mediavideowidget.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>

#include <phonon/SeekSlider>

// The player's controls as its tests see them.
class MediaPlayerProbe
{
public:
    explicit MediaPlayerProbe(MediaPlayer &player)
        : p(player)
    {
    }

    Phonon::MediaObject &mediaObject() { return p.mediaObject; }
    Phonon::AudioOutput &audioOutput() { return p.audioOutput; }
    MediaVideoWidget *videoWidget() { return p.videoWidget; }
    QWidget &videoWindow() { return p.videoWindow; }
    QPushButton *playButton() { return p.playButton; }
    QPushButton *stopButton() { return p.stopButton; }
    QPushButton *rewindButton() { return p.rewindButton; }
    QPushButton *forwardButton() { return p.forwardButton; }
    QLabel *infoLabel() { return p.infoLabel; }
    QLabel *timeLabel() { return p.timeLabel; }
    QLabel *progressLabel() { return p.progressLabel; }
    // The slider inside the seek slider, which the user moves.
    QSlider *seekBar() { return p.seekSlider->findChild<QSlider *>(); }
    QMenu *contextMenu() { return p.contextMenu; }
    QAction *fullScreenAction() { return p.fullScreenAction; }
    QAction *settingsAction() { return p.settingsAction; }
    Phonon::Path &audioOutputPath() { return p.audioOutputPath; }
    Phonon::Effect *pendingEffect() { return p.pendingEffect; }
    QDialog *settingsDialog() { return p.settingsDialog; }
    // The settings form's widgets go by their object names.
    template <typename T>
    T *setting(const char *name)
    {
        return p.settingsDialog ? p.settingsDialog->findChild<T *>(QLatin1String(name)) : nullptr;
    }
    bool showsPauseIcon() { return p.playButton->icon().cacheKey() == p.pauseIcon.cacheKey(); }

    // The private slots, for tests that drive them as their senders would.
    void openUrl() { p.openUrl(); }
    void openRamFile() { p.openRamFile(); }
    void setBrightness(int v) { p.setBrightness(v); }
    void setContrast(int v) { p.setContrast(v); }
    void setHue(int v) { p.setHue(v); }
    void setSaturation(int v) { p.setSaturation(v); }
    void setAspect(int v) { p.setAspect(v); }
    void setScale(int v) { p.setScale(v); }
    void showContextMenu(const QPoint &point) { p.showContextMenu(point); }
    void showSettingsDialog() { p.showSettingsDialog(); }

private:
    MediaPlayer &p;
};

#endif // MEDIAPLAYERPROBE_H
