// The 7.1 speaker test: test recording, speaker animations, pause and resume.
//
// A run lives from the first press to the end of the timeline (index 8) or to its
// abandon by the stereo tab. Its player and its eight animations exist only during the
// run, so nothing of a finished run stays in memory. The timeline belongs to the timing
// thread; the player is never waited on, so a machine that cannot play the recording
// (no sound card, no WAV decoder, no sound module) still runs the timeline and the
// animations.
#include "window/ToneTuningTool.h"

#include "device/MyThread_Two.h"
#include "device/UsbHidOperation.h"
#include "form/picturefiles.h"
#include "window/testsound.h"

#include <QDebug>
#include <QMessageBox>
#include <QMovie>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

struct SpeakerChannel {
    QLabel *Ui_ToneTuningToolClass::*label;
    const char *animation;
    const char *still; // the label's style sheet once its channel has ended
};

// Channel n (1..7, as the timing thread counts them) is entry n - 1.
const SpeakerChannel kSpeakerChannels[] = {
    {&Ui_ToneTuningToolClass::label_Horn_LeftUp, ":/gif/pic/gif/HornLeftUp.gif",
     "border-image: url(:/png/pic/png/leftup.png);"},
    {&Ui_ToneTuningToolClass::label_Horn_Up, ":/gif/pic/gif/HornUp.gif",
     "QLabel{border-image: url(:/png/pic/png/up.png);}"},
    {&Ui_ToneTuningToolClass::label_Horn_RightUp, ":/gif/pic/gif/HornRightUp.gif",
     "QLabel{border-image: url(:/png/pic/png/rightup.png);}"},
    {&Ui_ToneTuningToolClass::label_Horn_Right, ":/gif/pic/gif/HornRight.gif",
     "QLabel{border-image: url(:/png/pic/png/right.png);}"},
    {&Ui_ToneTuningToolClass::label_Horn_RightDown, ":/gif/pic/gif/HornRightBottom.gif",
     "QLabel{border-image: url(:/png/pic/png/rightdown.png);}"},
    {&Ui_ToneTuningToolClass::label_Horn_LeftDown, ":/gif/pic/gif/HornLeftBottom.gif",
     "QLabel{border-image: url(:/png/pic/png/leftdown.png);}"},
    {&Ui_ToneTuningToolClass::label_Horn_Left, ":/gif/pic/gif/Hornleft.gif",
     "QLabel{border-image: url(:/png/pic/png/left.png);}"},
};
constexpr int kChannelCount = 7;
constexpr int kTimelineEnd = 8;

const char kPersonAnimation[] = ":/gif/pic/gif/PersonHead.gif";
// What the listener label shows between runs (the window sets it up with this).
const char kPersonStill[] = "border-image: url(:/png/pic/png/head.png);";
const char kTestRecording[] = "/audio/test.wav";
constexpr int kTestVolume = 50;
// Long enough for what the player's back end releases later (deferred deletes, its
// streaming threads) to be freed too.
constexpr int kReturnMemoryDelayMs = 500;

QLabel *channelLabel(ToneTuningTool &w, int channel)
{
    return w.ui.*kSpeakerChannels[channel - 1].label;
}

QMovie *&channelMovie(ToneTuningTool &w, int channel)
{
    return w.m_hornMovies[channel - 1];
}

void startChannel(ToneTuningTool &w, int channel)
{
    w.m_testChannel = channel;
    // An index that was already queued when the run was paused lights the speaker only
    // at the resume.
    if (QMovie *movie = channelMovie(w, channel); movie && w.m_testPlaying)
        movie->start();
}

// Stops and releases the channel's animation and gives its label the still picture.
void endChannel(ToneTuningTool &w, int channel)
{
    if (channel < 1 || channel > kChannelCount)
        return;
    QLabel *label = channelLabel(w, channel);
    QMovie *&movie = channelMovie(w, channel);
    if (movie) {
        movie->stop();
        label->clear();
        delete movie;
        movie = nullptr;
    }
    label->setStyleSheet(kSpeakerChannels[channel - 1].still);
}

void releasePlayer(ToneTuningTool &w)
{
    if (!w.m_player)
        return;
    testSoundModule()->release(w.m_player);
    w.m_player = nullptr;
}

// Ends what is left of a run: the listener animation and the speakers whose channel was
// never reached (they were set on their labels at the start but never shown).
void releaseRunAnimations(ToneTuningTool &w)
{
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        QMovie *&movie = channelMovie(w, channel);
        if (!movie)
            continue;
        movie->stop();
        channelLabel(w, channel)->clear();
        delete movie;
        movie = nullptr;
    }
    if (w.m_personMovie) {
        w.m_personMovie->stop();
        w.ui.label_PersonGif->clear();
        delete w.m_personMovie;
        w.m_personMovie = nullptr;
        w.ui.label_PersonGif->setStyleSheet(kPersonStill);
    }
}

void resetRunState(ToneTuningTool &w)
{
    w.m_testChannel = 0;
    w.m_testPlaying = false;
    w.m_testClicks = 0;
}

// A run decodes full-size animation frames (1080 x 1080, 4.5 MiB each). Freeing the first
// one raises glibc's mmap threshold, so the later ones come from the heap and stay with
// the process after they are freed; a tray program that keeps 20 MiB after every test
// looks leaky. Hand the free heap pages back once the run's objects are gone.
void returnFreedMemory(ToneTuningTool &w)
{
#ifdef __GLIBC__
    QTimer::singleShot(kReturnMemoryDelayMs, &w, [] { malloc_trim(0); });
#else
    Q_UNUSED(w);
#endif
}

void startRun(ToneTuningTool &w)
{
    w.m_testPlaying = true;

    const qreal ratio = w.devicePixelRatioF();
    w.m_personMovie = new QMovie(pictureFileAt(kPersonAnimation, ratio));
    for (int channel = 1; channel <= kChannelCount; ++channel)
        channelMovie(w, channel) = new QMovie(pictureFileAt(kSpeakerChannels[channel - 1].animation, ratio));

    w.ui.label_PersonGif->setStyleSheet(QString());
    w.ui.label_PersonGif->setMovie(w.m_personMovie);
    w.ui.label_PersonGif->setScaledContents(true);
    w.m_personMovie->start();
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        channelLabel(w, channel)->setMovie(channelMovie(w, channel));
        channelLabel(w, channel)->setScaledContents(true);
    }

    qDebug() << "MediaPlayer Play Audio!";
    if (const TestSoundModule *sound = testSoundModule())
        w.m_player = sound->play(w.m_appDirPath + kTestRecording, kTestVolume);

    if (w.m_timingThread)
        w.m_timingThread->startFlag = 1;
    else
        qDebug() << "Please Input Device!";
}

void resumeRun(ToneTuningTool &w)
{
    w.m_testPlaying = true;
    if (w.m_player)
        testSoundModule()->resume(w.m_player);
    if (w.m_timingThread)
        w.m_timingThread->pauseFlag = 0;
    if (w.m_testChannel >= 1 && w.m_testChannel <= kChannelCount && channelMovie(w, w.m_testChannel))
        channelMovie(w, w.m_testChannel)->start();
    if (w.m_personMovie)
        w.m_personMovie->start();
}

void pauseRun(ToneTuningTool &w)
{
    w.m_testPlaying = false;
    if (w.m_player)
        testSoundModule()->pause(w.m_player);
    if (w.m_timingThread)
        w.m_timingThread->pauseFlag = 1;
    if (w.m_personMovie)
        w.m_personMovie->stop();
    if (w.m_testChannel >= 1 && w.m_testChannel <= kChannelCount && channelMovie(w, w.m_testChannel))
        channelMovie(w, w.m_testChannel)->stop();
}

} // namespace

void ToneTuningTool::on_PushButton_PlayTest_Clicked()
{
    if (hidDevice.load() == nullptr) {
        QMessageBox::warning(nullptr, "warning", "Pleasr Insert Device!", QMessageBox::Ok);
        return;
    }
    if (m_testClicks == 0)
        startRun(*this);
    else if (m_testClicks % 2 == 0)
        resumeRun(*this);
    else
        pauseRun(*this);
    ++m_testClicks;
}

// The transparent button over the listener picture has no action.
void ToneTuningTool::on_PushButton_Horn_LeftUp_Clicked() {}

void ToneTuningTool::on_SLOTSetMicTimer_LabelUI(int index)
{
    qDebug() << "SLOT::SetUI!";
    // An index still queued from a run that was abandoned meanwhile has nothing to light.
    if (m_testClicks == 0 && m_personMovie == nullptr)
        return;

    if (index == 1) {
        startChannel(*this, 1);
    } else if (index >= 2 && index <= kChannelCount) {
        endChannel(*this, index - 1);
        startChannel(*this, index);
    } else if (index == kTimelineEnd) {
        qDebug() << "m_player is stop!";
        if (m_player) {
            testSoundModule()->stop(m_player);
            qDebug().noquote() << "mediaStatus ==" << testSoundModule()->mediaStatus(m_player);
            releasePlayer(*this);
        }
        endChannel(*this, kChannelCount);
        releaseRunAnimations(*this);
        resetRunState(*this);
        returnFreedMemory(*this);
    }
}

void ToneTuningTool::abandonSpeakerTest()
{
    if (m_timingThread)
        m_timingThread->startFlag = 0;
    releasePlayer(*this);
    if (m_personMovie)
        m_personMovie->stop();
    endChannel(*this, m_testChannel);
    releaseRunAnimations(*this);
    resetRunState(*this);
    returnFreedMemory(*this);
}
