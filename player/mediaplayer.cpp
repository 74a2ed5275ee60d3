#include "mediaplayer.h"
#include "desktopsettings.h"
#include "mediatext.h"
#include "mediavideowidget.h"
#include "ramplaylist.h"

// The form keeps the combo size policy its layout was drawn with, which Qt
// has since deprecated.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include "ui_settings.h"
QT_WARNING_POP

#include <QActionGroup>
#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOption>
#include <QVBoxLayout>

#include <phonon/BackendCapabilities>
#include <phonon/Effect>
#include <phonon/EffectParameter>
#include <phonon/EffectWidget>
#include <phonon/SeekSlider>
#include <phonon/VolumeSlider>

namespace {
const char settingsGroup[] = "BrowserMainWindow";

QString titleOf(const QString &location)
{
    return MediaText::locationTitle(location);
}

// Phonon's file-name constructor is the one that makes an existing file a
// LocalFile source with an absolute path (the information screen names such
// sources "File:"); a source made from a file URL would count as a URL.
Phonon::MediaSource fileSource(const QString &fileName)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return Phonon::MediaSource(fileName);
    QT_WARNING_POP
}

// A dropped or listed URL: local files by their path, anything else as it is.
Phonon::MediaSource urlSource(const QUrl &url)
{
    return url.isLocalFile() ? fileSource(url.toLocalFile()) : Phonon::MediaSource(url);
}

// A location as the page or the user writes it: its bytes read as an encoded URL.
Phonon::MediaSource locationSource(const QString &location)
{
    return Phonon::MediaSource(QUrl::fromEncoded(location.toUtf8()));
}
} // namespace

MediaPlayer::MediaPlayer(QWidget *parent)
    : QWidget(parent)
    , audioOutput(Phonon::VideoCategory)
    , videoWidget(new MediaVideoWidget(this, nullptr))
    , backEnd(mediaObject)
    , playback(backEnd)
{
    setWindowTitle(tr("Media Player"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    videoWidget->setContextMenuPolicy(Qt::CustomContextMenu);

    stopButton = new QPushButton(this);
    stopButton->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    rewindButton = new QPushButton(this);
    rewindButton->setIcon(style()->standardIcon(QStyle::SP_MediaSkipBackward));
    forwardButton = new QPushButton(this);
    forwardButton->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    forwardButton->setEnabled(false);
    playButton = new QPushButton(this);
    playIcon = style()->standardIcon(QStyle::SP_MediaPlay);
    pauseIcon = style()->standardIcon(QStyle::SP_MediaPause);
    playButton->setIcon(playIcon);

    seekSlider = new Phonon::SeekSlider(this);
    seekSlider->setMediaObject(&mediaObject);
    routeSliderSeeks();
    volumeSlider = new Phonon::VolumeSlider(&audioOutput, nullptr);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto *transportRow = new QHBoxLayout;

    infoLabel = new QLabel(this);
    infoLabel->setMinimumHeight(70);
    infoLabel->setAcceptDrops(false);
    infoLabel->setMargin(2);
    infoLabel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    infoLabel->setLineWidth(2);
    infoLabel->setAutoFillBackground(true);
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::WindowText, Qt::white);

    for (QPushButton *button : {rewindButton, forwardButton, playButton, stopButton})
        button->setMinimumSize(34, 28);

    infoLabel->setStyleSheet(QStringLiteral("border-image:url(:/images/screen.png) ; border-width:3px"));
    infoLabel->setPalette(palette);
    infoLabel->setText(tr("<center>No media</center>"));
    volumeSlider->setFixedWidth(120);

    transportRow->addWidget(rewindButton);
    transportRow->addWidget(stopButton);
    transportRow->addWidget(playButton);
    transportRow->addWidget(forwardButton);
    transportRow->addStretch();
    transportRow->addWidget(volumeSlider);

    layout->addWidget(infoLabel);
    setupVideoWindow();
    layout->addWidget(&videoWindow);

    auto *buttonPanelLayout = new QVBoxLayout;
    videoWindow.hide();
    buttonPanelLayout->addLayout(transportRow);

    timeLabel = new QLabel(this);
    progressLabel = new QLabel(this);
    auto *seekRow = new QWidget(this);
    auto *seekLayout = new QHBoxLayout(seekRow);
    seekLayout->addWidget(seekSlider);
    seekLayout->addWidget(timeLabel);
    seekLayout->addWidget(progressLabel);
    seekLayout->setContentsMargins(0, 0, 0, 0);
    buttonPanelLayout->addWidget(seekRow);
    buttonPanelLayout->setContentsMargins(0, 0, 0, 0);

    auto *buttonPanel = new QWidget(this);
    buttonPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    buttonPanel->setLayout(buttonPanelLayout);
    layout->addWidget(buttonPanel);

    buildContextMenu();
    connectMedia();
    nameControls();
    orderControls();

    rewindButton->setEnabled(false);
    playButton->setEnabled(false);
    setAcceptDrops(true);

    audioOutputPath = Phonon::createPath(&mediaObject, &audioOutput);
    Phonon::createPath(&mediaObject, videoWidget);
    audioOutput.setVolume(0.7);
}

MediaPlayer::~MediaPlayer()
{
    qDebug() << "Media Player killed";
    // The media object outlives the members declared after it, and stopping
    // in its destructor still reports a state change; that must not reach
    // this half-destroyed player.
    mediaObject.disconnect(this);
    audioOutput.disconnect(this);
    // The path does not own its effects. Release them while the path and the
    // nodes it joins still exist.
    const QList<Phonon::Effect *> effects = audioOutputPath.effects();
    for (Phonon::Effect *effect : effects) {
        audioOutputPath.removeEffect(effect);
        delete effect;
    }
    if (!effects.contains(pendingEffect))
        delete pendingEffect;
}

// The transport buttons show icons only, and Phonon's sliders come without
// names: assistive technology reads these instead.
void MediaPlayer::nameControls()
{
    const auto name = [](QWidget *control, const QString &text, const QString &description = QString()) {
        control->setAccessibleName(text);
        control->setToolTip(text);
        control->setAccessibleDescription(description);
    };
    name(rewindButton, tr("Rewind"), tr("Goes back to the start"));
    name(stopButton, tr("Stop"), tr("Stops playing, and the chart goes on to its next item"));
    name(forwardButton, tr("Next in queue"), tr("Plays the next of the files opened or dropped"));
    showPlayable(false);

    name(seekSlider->findChild<QSlider *>(), tr("Position"),
         tr("Where the media stand; the arrow keys move them 5 seconds"));
    if (auto *volume = volumeSlider->findChild<QSlider *>())
        volume->setAccessibleName(tr("Volume"));
    if (auto *mute = volumeSlider->findChild<QAbstractButton *>())
        name(mute, tr("Mute"), tr("Turns the sound off or on again"));
    // Labels are read by their text; these say what it is.
    infoLabel->setAccessibleDescription(tr("What is playing"));
    timeLabel->setAccessibleDescription(tr("Time played and length"));
    progressLabel->setAccessibleDescription(tr("How much is loaded"));
    videoWidget->setAccessibleName(tr("Video"));
}

// Tab goes through the controls as they are laid out. The window itself
// holds the keyboard first, where Space plays or pauses and the arrows seek,
// so that no key stops the media by surprise.
void MediaPlayer::orderControls()
{
    setFocusPolicy(Qt::StrongFocus);
    setFocus();
    // Phonon's half a second is too small a step for a key.
    seekSlider->setSingleStep(5000);
    const QList<QWidget *> chain{rewindButton,
                                 stopButton,
                                 playButton,
                                 forwardButton,
                                 volumeSlider->findChild<QAbstractButton *>(),
                                 volumeSlider->findChild<QSlider *>(),
                                 seekSlider->findChild<QSlider *>()};
    QWidget *previous = nullptr;
    for (QWidget *next : chain) {
        if (!next)
            continue;
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    }
}

// The play button says what a press does.
void MediaPlayer::showPlayable(bool playing)
{
    playButton->setIcon(playing ? pauseIcon : playIcon);
    const QString action = playing ? tr("Pause") : tr("Play");
    playButton->setAccessibleName(action);
    playButton->setToolTip(action);
    playButton->setAccessibleDescription(tr("Plays or pauses the media; Space does the same"));
}

// Keys the controls leave over: Space plays or pauses, as the play button
// does, and the arrows move the media on or back, as the position slider does.
void MediaPlayer::keyPressEvent(QKeyEvent *event)
{
    auto *position = seekSlider->findChild<QSlider *>();
    if (event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Space:
            if (playButton->isEnabled())
                playButton->click();
            return;
        case Qt::Key_Left:
        case Qt::Key_Right:
            if (position->isEnabled())
                position->triggerAction(event->key() == Qt::Key_Left ? QAbstractSlider::SliderSingleStepSub
                                                                     : QAbstractSlider::SliderSingleStepAdd);
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

void MediaPlayer::buildContextMenu()
{
    contextMenu = new QMenu(this);

    QMenu *aspectMenu = contextMenu->addMenu(tr("&Aspect ratio"));
    auto *aspectGroup = new QActionGroup(aspectMenu);
    connect(aspectGroup, &QActionGroup::triggered, this, &MediaPlayer::aspectChanged);
    aspectGroup->setExclusive(true);
    for (const QString &text : {tr("Auto"), tr("Scale"), tr("16/9"), tr("4/3")}) {
        QAction *action = aspectMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(text == tr("Auto"));
        aspectGroup->addAction(action);
    }

    QMenu *scaleMenu = contextMenu->addMenu(tr("&Scale mode"));
    auto *scaleGroup = new QActionGroup(scaleMenu);
    connect(scaleGroup, &QActionGroup::triggered, this, &MediaPlayer::scaleChanged);
    scaleGroup->setExclusive(true);
    for (const QString &text : {tr("Fit in view"), tr("Scale and crop")}) {
        QAction *action = scaleMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(text == tr("Fit in view"));
        scaleGroup->addAction(action);
    }

    fullScreenAction = contextMenu->addAction(tr("Full screen video"));
    fullScreenAction->setCheckable(true);
    fullScreenAction->setEnabled(false);
    connect(fullScreenAction, &QAction::toggled, videoWidget, &MediaVideoWidget::setFullScreen);
    connect(videoWidget, &MediaVideoWidget::fullScreenChanged, fullScreenAction, &QAction::setChecked);

    contextMenu->addSeparator();
    settingsAction = contextMenu->addAction(tr("&Settings..."));
}

void MediaPlayer::connectMedia()
{
    // The modal dialogs open on the next turn of the event loop: opened
    // within an assistive technology's call to press or trigger, they would
    // hold back its answer, and with it the screen reader, until they close.
    connect(settingsAction, &QAction::triggered, this, &MediaPlayer::showSettingsDialog, Qt::QueuedConnection);
    connect(rewindButton, &QPushButton::clicked, this, &MediaPlayer::rewind);
    connect(stopButton, &QPushButton::clicked, this, &MediaPlayer::stop);
    connect(playButton, &QPushButton::clicked, this, &MediaPlayer::playPause);
    connect(forwardButton, &QPushButton::clicked, this, &MediaPlayer::forward);
    connect(videoWidget, &QWidget::customContextMenuRequested, this, &MediaPlayer::showContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &MediaPlayer::showContextMenu);
    connect(&mediaObject, &Phonon::MediaObject::metaDataChanged, this, &MediaPlayer::updateInfo);
    connect(&mediaObject, &Phonon::MediaObject::totalTimeChanged, this, &MediaPlayer::updateTime);
    connect(&mediaObject, &Phonon::MediaObject::tick, this, &MediaPlayer::updateTime);
    // The end, the state and whether there is video come through the
    // corrector, which leaves out what the back ends get wrong.
    connect(&playback, &PlaybackCorrector::ended, this, &MediaPlayer::finished);
    connect(&playback, &PlaybackCorrector::stateChanged, this, &MediaPlayer::shownStateChanged);
    connect(&playback, &PlaybackCorrector::stateChanged, this, &MediaPlayer::stateChanged);
    connect(&mediaObject, &Phonon::MediaObject::bufferStatus, this, &MediaPlayer::bufferStatus);
    connect(&playback, &PlaybackCorrector::hasVideoChanged, this, &MediaPlayer::hasVideoChanged);
    connect(&audioOutput, &Phonon::AudioOutput::mutedChanged, this, &MediaPlayer::onMutedChanged);
    connect(&audioOutput, &Phonon::AudioOutput::volumeChanged, this, &MediaPlayer::onVolumeChanged);
    connect(&playback, &PlaybackCorrector::sourceOpened, this, &MediaPlayer::sourceOpened);
    connect(&playback, &PlaybackCorrector::failed, this, &MediaPlayer::reportFailure);
}

// Phonon's slider seeks the media object itself whenever its value changes
// other than by a tick. The user's moves go through the corrector instead,
// as every seek does, so that the jump of the clock is known for what it is.
void MediaPlayer::routeSliderSeeks()
{
    auto *slider = seekSlider->findChild<QSlider *>();
    disconnect(slider, nullptr, seekSlider, nullptr);
    connect(slider, &QAbstractSlider::actionTriggered, this, [this, slider] { seek(slider->sliderPosition()); });
}

void MediaPlayer::setupVideoWindow()
{
    auto *videoLayout = new QVBoxLayout;
    videoLayout->addWidget(videoWidget);
    videoLayout->setContentsMargins(0, 0, 0, 0);
    videoWindow.setLayout(videoLayout);
    videoWindow.setMinimumSize(100, 100);
}

void MediaPlayer::playLocation(const QString &location)
{
    setWindowTitle(titleOf(location));
    playback.start(locationSource(location));
}

void MediaPlayer::playFile(const QString &fileName)
{
    setWindowTitle(titleOf(fileName));
    playback.start(fileSource(fileName));
}

// The first source plays, titled by its location as playLocation and
// playFile title theirs; the others replace the queue.
void MediaPlayer::playSources(const QList<Phonon::MediaSource> &sources, const QString &firstLocation)
{
    if (!sources.isEmpty())
        setWindowTitle(titleOf(firstLocation));
    playback.start(sources);
}

void MediaPlayer::setCompactMode(bool on)
{
    compactMode = on;
}

bool MediaPlayer::pauseForDialog()
{
    if (compactMode && mediaObject.hasVideo() && state() == Phonon::PlayingState) {
        playback.pause();
        return true;
    }
    return false;
}

void MediaPlayer::stop()
{
    playback.stop();
    emit done();
}

void MediaPlayer::rewind()
{
    seek(0);
}

void MediaPlayer::seek(qint64 position)
{
    playback.seek(position);
    // Paused media do not tick: the slider and the time are put where the
    // media now stand.
    auto *slider = seekSlider->findChild<QSlider *>();
    if (!slider->isSliderDown())
        slider->setValue(int(position));
    updateTime();
}

void MediaPlayer::forward()
{
    const QList<Phonon::MediaSource> queue = mediaObject.queue();
    if (queue.isEmpty())
        return;
    playback.start(queue.first());
    forwardButton->setEnabled(queue.size() > 1);
}

void MediaPlayer::play()
{
    if (state() != Phonon::PlayingState)
        playPause();
}

void MediaPlayer::pause()
{
    if (state() == Phonon::PlayingState)
        playPause();
}

void MediaPlayer::playPause()
{
    if (state() == Phonon::PlayingState) {
        playback.pause();
        return;
    }
    if (mediaObject.currentTime() == mediaObject.totalTime())
        seek(0);
    playback.play();
}

void MediaPlayer::finished()
{
    emit play_finished();
}

void MediaPlayer::showContextMenu(const QPoint &point)
{
    if (videoWidget->isFullScreen())
        contextMenu->popup(point);
    else
        contextMenu->popup(mapToGlobal(point));
}

void MediaPlayer::stateChanged(Phonon::State newstate, Phonon::State oldstate)
{
    if (oldstate == Phonon::LoadingState && !compactMode && mediaObject.hasVideo())
        QCoreApplication::processEvents();

    switch (newstate) {
    case Phonon::LoadingState:
        rewindButton->setEnabled(false);
        break;
    case Phonon::StoppedState:
        videoWidget->setFullScreen(false);
        Q_FALLTHROUGH();
    case Phonon::PausedState: {
        showPlayable(false);
        // A source that has failed is no more playable than none at all.
        const Phonon::MediaSource::Type type = mediaObject.currentSource().type();
        const bool valid =
            type != Phonon::MediaSource::Invalid && type != Phonon::MediaSource::Empty && playback.failure().isEmpty();
        playButton->setEnabled(valid);
        rewindButton->setEnabled(valid);
        break;
    }
    case Phonon::PlayingState:
        playButton->setEnabled(true);
        showPlayable(true);
        if (mediaObject.hasVideo())
            videoWindow.show();
        rewindButton->setEnabled(true);
        break;
    case Phonon::BufferingState:
        rewindButton->setEnabled(true);
        break;
    case Phonon::ErrorState:
        // The corrector plays the source once more, or gives it up
        // (reportFailure).
        updateInfo();
        break;
    }
}

// Texts from a back end or a page must not restyle the box.
void MediaPlayer::reportFailure(const QString &message)
{
    playButton->setEnabled(false);
    rewindButton->setEnabled(false);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Phonon Mediaplayer"), message, QMessageBox::Close, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    emit done();
    updateInfo();
}

void MediaPlayer::hasVideoChanged(bool hasVideo)
{
    infoLabel->setVisible(!hasVideo);
    videoWindow.setVisible(hasVideo);
    fullScreenAction->setEnabled(hasVideo);
}

void MediaPlayer::onMutedChanged(bool) { }

void MediaPlayer::onVolumeChanged(qreal) { }

void MediaPlayer::updateTime()
{
    timeLabel->setText(MediaText::timeText(playback.position(), mediaObject.totalTime()));
}

void MediaPlayer::bufferStatus(int percent)
{
    progressLabel->setText(MediaText::bufferText(percent));
}

void MediaPlayer::updateInfo()
{
    QString message = mediaObject.errorString();
    if (message.isEmpty())
        message = playback.failure();
    infoLabel->setText(MediaText::infoText(mediaObject.metaData(), mediaObject.currentSource(), message));
}

void MediaPlayer::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void MediaPlayer::setAspect(int value)
{
    videoWidget->setAspectRatio(static_cast<Phonon::VideoWidget::AspectRatio>(value));
}

void MediaPlayer::setScale(int value)
{
    videoWidget->setScaleMode(static_cast<Phonon::VideoWidget::ScaleMode>(value));
}

void MediaPlayer::setSaturation(int value)
{
    videoWidget->setSaturation(value * 0.125f);
}

void MediaPlayer::setContrast(int value)
{
    videoWidget->setContrast(value * 0.125f);
}

void MediaPlayer::setHue(int value)
{
    videoWidget->setHue(value * 0.125f);
}

void MediaPlayer::setBrightness(int value)
{
    videoWidget->setBrightness(value * 0.125f);
}

void MediaPlayer::aspectChanged(QAction *action)
{
    const QString text = action->text();
    if (text == tr("16/9"))
        videoWidget->setAspectRatio(Phonon::VideoWidget::AspectRatio16_9);
    else if (text == tr("Scale"))
        videoWidget->setAspectRatio(Phonon::VideoWidget::AspectRatioWidget);
    else if (text == tr("4/3"))
        videoWidget->setAspectRatio(Phonon::VideoWidget::AspectRatio4_3);
    else
        videoWidget->setAspectRatio(Phonon::VideoWidget::AspectRatioAuto);
}

void MediaPlayer::scaleChanged(QAction *action)
{
    if (action->text() == tr("Scale and crop"))
        videoWidget->setScaleMode(Phonon::VideoWidget::ScaleAndCrop);
    else
        videoWidget->setScaleMode(Phonon::VideoWidget::FitInView);
}

void MediaPlayer::openFile()
{
    const bool paused = pauseForDialog();
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QString(), QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    if (paused)
        playback.play();
    QList<Phonon::MediaSource> sources;
    for (const QString &file : files)
        sources << fileSource(file);
    playSources(sources, files.value(0));
    forwardButton->setEnabled(!mediaObject.queue().isEmpty());
}

void MediaPlayer::openUrl()
{
    QSettings settings;
    settings.beginGroup(QLatin1String(settingsGroup));
    const QString stored = settings.value(QStringLiteral("location")).toString();
    bool ok = false;
    const QString text = QInputDialog::getText(this, tr("Open Location"), tr("Please enter a valid address here:"),
                                               QLineEdit::Normal, stored, &ok);
    if (ok && !text.isEmpty()) {
        playLocation(text);
        settings.setValue(QStringLiteral("location"), text);
    }
}

void MediaPlayer::openRamFile()
{
    QSettings settings;
    settings.beginGroup(QLatin1String(settingsGroup));
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QString(), settings.value(QStringLiteral("openRamFile")).toString(), QStringLiteral("RAM files (*.ram)"));
    if (files.isEmpty())
        return;
    const QList<QUrl> urls = RamPlaylist::read(files);
    if (!urls.isEmpty()) {
        const QString first = urls.first().toString();
        QList<Phonon::MediaSource> sources{locationSource(first)};
        for (int i = 1; i < urls.size(); ++i)
            sources << Phonon::MediaSource(urls.at(i));
        playSources(sources, first);
        playback.play();
    }
    forwardButton->setEnabled(!mediaObject.queue().isEmpty());
    settings.setValue(QStringLiteral("openRamFile"), files.first());
}

void MediaPlayer::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void MediaPlayer::dragMoveEvent(QDragMoveEvent *event)
{
    const Qt::DropAction action = event->proposedAction();
    if (event->mimeData()->hasUrls() && (action == Qt::CopyAction || action == Qt::MoveAction))
        event->acceptProposedAction();
}

void MediaPlayer::dropEvent(QDropEvent *event)
{
    if (event->mimeData()->hasUrls() && event->proposedAction() != Qt::LinkAction) {
        event->acceptProposedAction();
        handleDrop(event);
    } else {
        event->ignore();
    }
}

void MediaPlayer::handleDrop(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (event->proposedAction() == Qt::MoveAction) {
        for (const QUrl &url : urls)
            mediaObject.enqueue(urlSource(url));
    } else {
        QList<Phonon::MediaSource> sources;
        QString firstLocation;
        const QUrl first = urls.value(0);
        const QString path = first.toLocalFile();
        if (first.isLocalFile() && QFileInfo(path).isDir()) {
            const QString prefix = path + QDir::separator();
            const QStringList names = QDir(path).entryList(QDir::Files);
            for (const QString &name : names)
                sources << fileSource(prefix + name);
            firstLocation = prefix + names.value(0);
        } else if (!urls.isEmpty()) {
            firstLocation = first.isLocalFile() ? path : QString::fromUtf8(first.toEncoded());
            sources << (first.isLocalFile() ? fileSource(path) : locationSource(firstLocation));
            for (int i = 1; i < urls.size(); ++i)
                sources << urlSource(urls.at(i));
        }
        playSources(sources, firstLocation);
    }
    forwardButton->setEnabled(!mediaObject.queue().isEmpty());
    playback.play();
}

void MediaPlayer::buildSettingsDialog()
{
    settingsDialog = new QDialog(this);
    settingsForm = std::make_unique<Ui::settings>();
    Ui::settings &form = *settingsForm;
    form.setupUi(settingsDialog);

    connect(form.brightnessSlider, &QSlider::valueChanged, this, &MediaPlayer::setBrightness);
    connect(form.hueSlider, &QSlider::valueChanged, this, &MediaPlayer::setHue);
    connect(form.saturationSlider, &QSlider::valueChanged, this, &MediaPlayer::setSaturation);
    connect(form.contrastSlider, &QSlider::valueChanged, this, &MediaPlayer::setContrast);
    connect(form.aspectCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &MediaPlayer::setAspect);
    connect(form.scalemodeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &MediaPlayer::setScale);

    form.brightnessSlider->setValue(int(videoWidget->brightness() * 8.0));
    form.hueSlider->setValue(int(videoWidget->hue() * 8.0));
    form.saturationSlider->setValue(int(videoWidget->saturation() * 8.0));
    form.contrastSlider->setValue(int(videoWidget->contrast() * 8.0));
    form.aspectCombo->setCurrentIndex(videoWidget->aspectRatio());
    form.scalemodeCombo->setCurrentIndex(videoWidget->scaleMode());

    // On the next turn, as the settings dialog opens.
    connect(form.effectButton, &QToolButton::clicked, this, &MediaPlayer::configureEffect, Qt::QueuedConnection);

    form.crossFadeSlider->setValue(int((mediaObject.transitionTime() * 2) / 1000.0));

    const QList<Phonon::AudioOutputDevice> devices = Phonon::BackendCapabilities::availableAudioOutputDevices();
    for (int i = 0; i < devices.size(); ++i) {
        QString text = devices.at(i).name();
        if (!devices.at(i).description().isEmpty())
            text += QStringLiteral(" (%1)").arg(devices.at(i).description());
        form.deviceCombo->addItem(text);
        if (devices.at(i) == audioOutput.outputDevice())
            form.deviceCombo->setCurrentIndex(i);
    }

    form.audioEffectsCombo->addItem(tr("<no effect>"));
    const QList<Phonon::Effect *> current = audioOutputPath.effects();
    const QList<Phonon::EffectDescription> effects = Phonon::BackendCapabilities::availableAudioEffects();
    for (int k = 0; k < effects.size(); ++k) {
        form.audioEffectsCombo->addItem(effects.at(k).name());
        if (!current.isEmpty() && current.first()->description() == effects.at(k))
            form.audioEffectsCombo->setCurrentIndex(k + 1);
    }
    form.notifyCheckBox->setChecked(DesktopSettings::notificationsEnabled());
    form.trayCheckBox->setChecked(DesktopSettings::keepRunningInTray());

    // Connected only now, so that building never creates a pending effect.
    connect(form.audioEffectsCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MediaPlayer::effectChanged);
}

void MediaPlayer::showSettingsDialog()
{
    const bool paused = pauseForDialog();
    if (!settingsDialog)
        buildSettingsDialog();

    const float brightness = videoWidget->brightness();
    const float hue = videoWidget->hue();
    const float saturation = videoWidget->saturation();
    const float contrast = videoWidget->contrast();
    const Phonon::VideoWidget::AspectRatio aspect = videoWidget->aspectRatio();
    const Phonon::VideoWidget::ScaleMode scale = videoWidget->scaleMode();
    const int effectIndex = settingsForm->audioEffectsCombo->currentIndex();

    if (settingsDialog->exec() == QDialog::Accepted) {
        applySettings();
    } else {
        videoWidget->setBrightness(brightness);
        videoWidget->setSaturation(saturation);
        videoWidget->setHue(hue);
        videoWidget->setContrast(contrast);
        videoWidget->setAspectRatio(aspect);
        videoWidget->setScaleMode(scale);
        settingsForm->audioEffectsCombo->setCurrentIndex(effectIndex);
    }
    if (paused)
        playback.play();
}

void MediaPlayer::applySettings()
{
    const Ui::settings &form = *settingsForm;
    mediaObject.setTransitionTime(int(form.crossFadeSlider->value() * 1000.0f * 0.5f));
    DesktopSettings::setNotificationsEnabled(form.notifyCheckBox->isChecked());
    DesktopSettings::setKeepRunningInTray(form.trayCheckBox->isChecked());

    // With no device listed the output stays where it is.
    const QList<Phonon::AudioOutputDevice> devices = Phonon::BackendCapabilities::availableAudioOutputDevices();
    const int device = form.deviceCombo->currentIndex();
    if (device >= 0 && device < devices.size())
        audioOutput.setOutputDevice(devices.at(device));

    const QList<Phonon::Effect *> current = audioOutputPath.effects();
    if (form.audioEffectsCombo->currentIndex() > 0) {
        if (current.isEmpty() || current.first()->description() != pendingEffect->description()) {
            for (Phonon::Effect *effect : current) {
                audioOutputPath.removeEffect(effect);
                delete effect;
            }
            // VLC's back end refuses every effect; the choice then stays pending.
            if (!audioOutputPath.insertEffect(pendingEffect))
                qDebug() << "The audio back end did not take the effect" << pendingEffect->description().name();
        } else if (pendingEffect != current.first()) {
            // The same effect already plays with its own parameter values:
            // keep it, and let the settings edit that one from now on.
            delete pendingEffect;
            pendingEffect = current.first();
        }
    } else {
        for (Phonon::Effect *effect : current) {
            audioOutputPath.removeEffect(effect);
            delete effect;
            pendingEffect = nullptr;
        }
    }
}

void MediaPlayer::effectChanged()
{
    const int index = settingsForm->audioEffectsCombo->currentIndex();
    if (index != 0) {
        const QList<Phonon::EffectDescription> effects = Phonon::BackendCapabilities::availableAudioEffects();
        const Phonon::EffectDescription chosen = effects.value(index - 1);
        const QList<Phonon::Effect *> current = audioOutputPath.effects();
        // Only the effect in the path is in use; any other pending one is
        // nobody's once it is replaced.
        if (pendingEffect && (current.isEmpty() || pendingEffect != current.first()))
            delete pendingEffect;
        pendingEffect = new Phonon::Effect(chosen, this);
    }
    settingsForm->effectButton->setEnabled(index != 0);
}

void MediaPlayer::configureEffect()
{
    if (!pendingEffect)
        return;
    const int index = settingsForm->audioEffectsCombo->currentIndex();
    if (index <= 0)
        return;
    const Phonon::EffectDescription chosen = Phonon::BackendCapabilities::availableAudioEffects().value(index - 1);

    QDialog dialog;
    dialog.setWindowTitle(tr("Configure effect"));
    auto *layout = new QVBoxLayout(&dialog);

    const QString heading = QStringLiteral("<b>") + tr("Description:") + QStringLiteral("</b><br>");
    auto *description = new QLabel(heading + chosen.description(), &dialog);
    description->setWordWrap(true);
    layout->addWidget(description);

    auto *scrollArea = new QScrollArea(&dialog);
    layout->addWidget(scrollArea);

    const QList<Phonon::EffectParameter> parameters = pendingEffect->parameters();
    QList<QVariant> saved;
    for (const Phonon::EffectParameter &parameter : parameters)
        saved << pendingEffect->parameterValue(parameter);

    auto *editor = new Phonon::EffectWidget(pendingEffect);
    editor->setMinimumWidth(320);
    editor->setContentsMargins(10, 10, 10, 10);
    scrollArea->setWidget(editor);

    auto *buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, &dialog);
    connect(buttonBox->button(QDialogButtonBox::Ok), &QPushButton::clicked, &dialog, &QDialog::accept);
    connect(buttonBox->button(QDialogButtonBox::Cancel), &QPushButton::clicked, &dialog, &QDialog::reject);
    layout->addWidget(buttonBox);

    if (dialog.exec() != QDialog::Accepted) {
        const QList<Phonon::EffectParameter> now = pendingEffect->parameters();
        for (int j = 0; j < now.size() && j < saved.size(); ++j)
            pendingEffect->setParameterValue(now.at(j), saved.at(j));
    }
}
