// The 7.1 speaker test through the headset emulator: the play button's start, pause and
// resume, the channel indices of the timing thread lighting the speakers, the end of
// the timeline, the abandon, and presses without a headset.

#include "common/boxcatcher.h"
#include "common/headsetemulator.h"
#include "common/programfolder.h"
#include "common/testmain.h"
#include "common/tracecapture.h"

#include "device/MyThread_Two.h"
#include "device/UsbHidOperation.h"
#include "window/ToneTuningTool.h"

#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QMovie>
#include <QTimer>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;

namespace {

struct Speaker {
    const char *label;
    const char *still;
};
// Channel n is entry n - 1.
const Speaker kSpeakers[] = {
    {"label_Horn_LeftUp", "border-image: url(:/png/pic/png/leftup.png);"},
    {"label_Horn_Up", "QLabel{border-image: url(:/png/pic/png/up.png);}"},
    {"label_Horn_RightUp", "QLabel{border-image: url(:/png/pic/png/rightup.png);}"},
    {"label_Horn_Right", "QLabel{border-image: url(:/png/pic/png/right.png);}"},
    {"label_Horn_RightDown", "QLabel{border-image: url(:/png/pic/png/rightdown.png);}"},
    {"label_Horn_LeftDown", "QLabel{border-image: url(:/png/pic/png/leftdown.png);}"},
    {"label_Horn_Left", "QLabel{border-image: url(:/png/pic/png/left.png);}"},
};
const char kHeadStill[] = "border-image: url(:/png/pic/png/head.png);";

// Timeline ticks of the channels 1..8.
const int kChannelTick[] = {0, 100, 260, 450, 620, 810, 980, 1160, 1390};

// Records the channel indices as the window receives them (queued, after the window's slot).
class IndexLog : public QObject
{
    Q_OBJECT
public:
    QList<int> indices;
public slots:
    void record(int index) { indices.append(index); }
};

} // namespace

class SpeakerTestTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeadsetEmulator> m_emulator;
    std::unique_ptr<TraceCapture> m_traces;
    std::unique_ptr<ToneTuningTool> m_window;
    IndexLog m_indices;
    std::chrono::microseconds m_tick{10000};

    ToneTuningTool &w() { return *m_window; }
    MyThread_Two *timing() { return w().m_timingThread; }
    QLabel *speakerLabel(int channel) { return w().findChild<QLabel *>(kSpeakers[channel - 1].label); }

    void command(const QString &line) { QCOMPARE(m_emulator->command(line), QString("ok")); }

    // The window opens the headset itself, at start and when it is plugged in.
    void waitForHeadset()
    {
        QTRY_VERIFY_WITH_TIMEOUT(hidDevice.load() != nullptr && w().m_deviceView == 1, 10000);
    }

    // Gives the window a new timing thread ticking every `tick` (the real one ticks every
    // 10 ms; the longer scenarios run it faster and count in ticks). The window owns it,
    // as it owns the one it creates at each open.
    void useTimingThread(std::chrono::microseconds tick)
    {
        dropTimingThread();
        m_tick = tick;
        auto *thread = new MyThread_Two;
        thread->setTickPeriod(tick);
        thread->start();
        connect(thread, &MyThread_Two::sendSetMicTimer, m_window.get(), &ToneTuningTool::on_SLOTSetMicTimer_LabelUI);
        connect(thread, &MyThread_Two::sendSetMicTimer, &m_indices, &IndexLog::record);
        w().m_timingThread = thread;
        // Indices the previous thread emitted are still queued for a window that lags on
        // a busy machine; they belong to no run of this test.
        QCoreApplication::sendPostedEvents();
        m_indices.indices.clear();
    }

    void dropTimingThread()
    {
        delete w().m_timingThread;
        w().m_timingThread = nullptr;
    }

    int ticks() { return timing() ? timing()->tickCount.load() : 0; }
    qint64 ticksToMs(int ticks) const { return qint64(ticks) * m_tick.count() / 1000; }

    void press() { w().ui.pushButton_SurroundTest->click(); }

    // Waits for the channel to light (or, for 8, the run to end), at most the channel's
    // timeline time plus a generous margin for a loaded machine.
    void waitForIndex(int index)
    {
        const int timeout = int(ticksToMs(kChannelTick[index])) + 10000;
        QTRY_VERIFY_WITH_TIMEOUT(m_indices.indices.contains(index), timeout);
    }

    void verifyIdle()
    {
        QCOMPARE(w().m_testClicks, 0);
        QCOMPARE(w().m_testPlaying, false);
        QCOMPARE(w().m_testChannel, 0);
        QVERIFY(w().m_player == nullptr);
        QVERIFY(w().m_personMovie == nullptr);
        for (QMovie *movie : w().m_hornMovies)
            QVERIFY(movie == nullptr);
        QVERIFY(w().ui.label_PersonGif->movie() == nullptr);
        QCOMPARE(w().ui.label_PersonGif->styleSheet(), QString(kHeadStill));
        for (int channel = 1; channel <= 7; ++channel)
            QVERIFY2(speakerLabel(channel)->movie() == nullptr, kSpeakers[channel - 1].label);
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void firstPressStartsRecordingAndLightsFrontLeftASecondLater();
    void pauseAndResumeKeepTheRemainingTime();
    void timelineEndReturnsToIdleAndNextPressStartsAfresh();
    void otherTabDuringARun_data();
    void otherTabDuringARun();
    void pressWithoutHeadsetShowsTheBoxAndChangesNothing_data();
    void pressWithoutHeadsetShowsTheBoxAndChangesNothing();
    void withoutTimingThreadOnlyTheRecordingRuns();
    void indexQueuedAfterAbandonLightsNothing();
};

void SpeakerTestTest::initTestCase()
{
    m_traces = std::make_unique<TraceCapture>();
    QVERIFY(ttt_test::provideProgramFile("DefaultFile/VID-3508&PID-4151.json"));
    QVERIFY(ttt_test::provideProgramFile("audio/test.wav"));
    m_emulator = std::make_unique<HeadsetEmulator>();
    m_window = std::make_unique<ToneTuningTool>();
    m_window->show();
    waitForHeadset();
    m_window->ui.tabWidget->setCurrentIndex(Surround);
    QVERIFY(m_window->ui.groupBox_SurroundTest->isVisible());
}

void SpeakerTestTest::init()
{
    waitForHeadset();
    useTimingThread(10ms);
    m_traces->clear();
}

void SpeakerTestTest::cleanup()
{
    if (w().m_testClicks != 0 || w().m_personMovie)
        w().abandonSpeakerTest();
}

void SpeakerTestTest::cleanupTestCase()
{
    m_window.reset();
    m_emulator.reset();
    m_traces.reset();
}

void SpeakerTestTest::firstPressStartsRecordingAndLightsFrontLeftASecondLater()
{
    QElapsedTimer clock;
    clock.start();
    press();

    QVERIFY(m_traces->contains("MediaPlayer Play Audio!"));
    QVERIFY(w().m_player);
    const QUrl recording = w().m_player->media().request().url();
    QCOMPARE(recording, QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/audio/test.wav"));
    QCOMPARE(w().m_player->volume(), 50);
    QCOMPARE(w().m_testClicks, 1);
    QCOMPARE(w().m_testPlaying, true);
    QCOMPARE(timing()->startFlag, 1);

    QVERIFY(w().ui.label_PersonGif->movie());
    QCOMPARE(w().ui.label_PersonGif->movie()->state(), QMovie::Running);
    QVERIFY(w().ui.label_PersonGif->hasScaledContents());
    QCOMPARE(w().ui.label_PersonGif->styleSheet(), QString());
    for (int channel = 1; channel <= 7; ++channel) {
        QMovie *movie = speakerLabel(channel)->movie();
        QVERIFY2(movie && movie->isValid(), kSpeakers[channel - 1].label);
        QCOMPARE(movie->state(), QMovie::NotRunning);
    }

    waitForIndex(1);
    QVERIFY2(clock.elapsed() >= 950, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(w().m_testChannel, 1);
    QCOMPARE(speakerLabel(1)->movie()->state(), QMovie::Running);
}

void SpeakerTestTest::pauseAndResumeKeepTheRemainingTime()
{
    // The pause must come between tick 500 and index 4 (tick 620): 1.2 s to press it.
    useTimingThread(10ms);
    press();
    waitForIndex(3);
    QTRY_VERIFY_WITH_TIMEOUT(ticks() >= 500, 10000);
    const bool playerWasPlaying = w().m_player->state() == QMediaPlayer::PlayingState;

    press(); // pause
    QCOMPARE(w().m_testPlaying, false);
    QCOMPARE(timing()->pauseFlag, 1);
    QCOMPARE(w().m_personMovie->state(), QMovie::NotRunning);
    QCOMPARE(speakerLabel(3)->movie()->state(), QMovie::NotRunning);
    if (playerWasPlaying)
        QCOMPARE(w().m_player->state(), QMediaPlayer::PausedState);
    const int pausedAt = ticks();
    QVERIFY2(pausedAt < kChannelTick[4], "index 4 came before the pause could be pressed");

    // A paused run stays where it is.
    QTest::qWait(int(ticksToMs(kChannelTick[4] - pausedAt)) + 100);
    QCOMPARE(ticks(), pausedAt);
    QCOMPARE(w().m_testChannel, 3);
    QVERIFY(!m_indices.indices.contains(4));

    QElapsedTimer sinceResume;
    sinceResume.start();
    press(); // resume
    QCOMPARE(w().m_testPlaying, true);
    QCOMPARE(timing()->pauseFlag, 0);
    QCOMPARE(w().m_personMovie->state(), QMovie::Running);
    QCOMPARE(speakerLabel(3)->movie()->state(), QMovie::Running);
    if (playerWasPlaying)
        QCOMPARE(w().m_player->state(), QMediaPlayer::PlayingState);

    waitForIndex(4);
    const qint64 remaining = ticksToMs(kChannelTick[4] - pausedAt - 1);
    QVERIFY2(sinceResume.elapsed() >= remaining,
             qPrintable(QString("%1 ms after the resume, %2 ms expected").arg(sinceResume.elapsed()).arg(remaining)));
    QCOMPARE(w().m_testChannel, 4);
    QCOMPARE(speakerLabel(4)->movie()->state(), QMovie::Running);
    QVERIFY(speakerLabel(3)->movie() == nullptr);
    QCOMPARE(speakerLabel(3)->styleSheet(), QString(kSpeakers[2].still));
}

void SpeakerTestTest::timelineEndReturnsToIdleAndNextPressStartsAfresh()
{
    useTimingThread(1ms);
    press();
    waitForIndex(8);
    QCOMPARE(m_indices.indices, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    QVERIFY(m_traces->contains("m_player is stop!"));
    QVERIFY(m_traces->contains("mediaStatus =="));
    verifyIdle();
    for (int channel = 1; channel <= 7; ++channel)
        QCOMPARE(speakerLabel(channel)->styleSheet(), QString(kSpeakers[channel - 1].still));
    QTRY_COMPARE(timing()->tickCount.load(), 0);

    m_indices.indices.clear();
    press();
    QCOMPARE(w().m_testClicks, 1);
    QCOMPARE(w().m_testPlaying, true);
    QVERIFY(w().m_player);
    QCOMPARE(timing()->startFlag, 1);
    waitForIndex(1);
    QCOMPARE(m_indices.indices.first(), 1);
}

// Choosing the stereo tab abandons a playing run; a paused run, and the microphone tab,
// leave the run alone, and coming back to the surround tab carries on with it.
void SpeakerTestTest::otherTabDuringARun_data()
{
    QTest::addColumn<int>("presses");
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("abandoned");
    QTest::newRow("stereo tab while playing") << 1 << int(Stereo) << true;
    QTest::newRow("stereo tab while paused") << 2 << int(Stereo) << false;
    QTest::newRow("microphone tab while playing") << 1 << 2 << false;
}

void SpeakerTestTest::otherTabDuringARun()
{
    QFETCH(int, presses);
    QFETCH(int, tab);
    QFETCH(bool, abandoned);

    // Slow enough that index 4 (850 ms after index 3) cannot arrive while a busy machine
    // still delivers index 3 and the test looks at channel 3.
    useTimingThread(5ms);
    press();
    waitForIndex(3);
    if (presses == 2)
        press();
    QCOMPARE(speakerLabel(3)->movie()->state(), presses == 1 ? QMovie::Running : QMovie::NotRunning);
    const int ticksBefore = ticks();

    w().ui.tabWidget->setCurrentIndex(tab);
    if (abandoned) {
        verifyIdle();
        QCOMPARE(timing()->startFlag, 0);
        QCOMPARE(speakerLabel(3)->styleSheet(), QString(kSpeakers[2].still));
        QTRY_COMPARE(timing()->tickCount.load(), 0);
    } else {
        QCOMPARE(w().m_testClicks, presses);
        QCOMPARE(w().m_testPlaying, presses == 1);
        QCOMPARE(timing()->startFlag, 1);
        QVERIFY(w().m_player);
        QCOMPARE(w().m_testChannel, 3);
        if (presses == 2)
            QCOMPARE(ticks(), ticksBefore);
    }

    w().ui.tabWidget->setCurrentIndex(Surround);
    // What the run emitted before it was left is still queued for a lagging window.
    QCoreApplication::sendPostedEvents();
    m_indices.indices.clear();
    press();
    if (abandoned) {
        // A fresh run: the timeline starts from its beginning.
        QCOMPARE(w().m_testClicks, 1);
        waitForIndex(1);
        QCOMPARE(m_indices.indices.first(), 1);
        QCOMPARE(w().m_testChannel, 1);
    } else if (presses == 2) {
        // The pause is resumed.
        QCOMPARE(w().m_testPlaying, true);
        QCOMPARE(timing()->pauseFlag, 0);
        waitForIndex(4);
        QCOMPARE(m_indices.indices.first(), 4);
    } else {
        // Still playing: the press pauses.
        QCOMPARE(w().m_testPlaying, false);
        QCOMPARE(timing()->pauseFlag, 1);
    }
}

// The headset is gone (its removal has closed the link) while the test is in the given
// state; a press shows the box and leaves the run as it was.
void SpeakerTestTest::pressWithoutHeadsetShowsTheBoxAndChangesNothing_data()
{
    QTest::addColumn<int>("pressesBefore");
    QTest::newRow("idle") << 0;
    QTest::newRow("playing") << 1;
    QTest::newRow("paused") << 2;
}

void SpeakerTestTest::pressWithoutHeadsetShowsTheBoxAndChangesNothing()
{
    QFETCH(int, pressesBefore);
    for (int i = 0; i < pressesBefore; ++i)
        press();
    const int clicks = w().m_testClicks;
    const bool playing = w().m_testPlaying;
    const int pauseFlag = timing()->pauseFlag;
    const QMediaPlayer::State playerState = w().m_player ? w().m_player->state() : QMediaPlayer::StoppedState;

    // Unplugged: the window closes the link; the run, if any, goes on.
    MyThread_Two *runTiming = timing();
    command("unplug");
    QTRY_VERIFY(hidDevice.load() == nullptr);
    QCOMPARE(timing(), runTiming);
    BoxCatcher boxes;
    press();
    QCOMPARE(boxes.seen, QStringList{"warning|Pleasr Insert Device!"});

    QCOMPARE(w().m_testClicks, clicks);
    QCOMPARE(w().m_testPlaying, playing);
    QCOMPARE(timing()->pauseFlag, pauseFlag);
    if (w().m_player)
        QCOMPARE(w().m_player->state(), playerState);
    if (pressesBefore == 1)
        QCOMPARE(w().m_personMovie->state(), QMovie::Running);

    command("plug");
}

void SpeakerTestTest::withoutTimingThreadOnlyTheRecordingRuns()
{
    dropTimingThread();
    press();
    QVERIFY(m_traces->contains("Please Input Device!"));
    QVERIFY(w().m_player);
    QCOMPARE(w().m_personMovie->state(), QMovie::Running);
    QCOMPARE(w().m_testChannel, 0);
    // Nothing will light or end the run: only the stereo tab ends it.
    w().abandonSpeakerTest();
    verifyIdle();
}

void SpeakerTestTest::indexQueuedAfterAbandonLightsNothing()
{
    useTimingThread(2ms);
    press();
    waitForIndex(1);
    w().abandonSpeakerTest();
    // What the timing thread may have emitted just before the abandon reached it.
    w().on_SLOTSetMicTimer_LabelUI(2);
    w().on_SLOTSetMicTimer_LabelUI(8);
    verifyIdle();
}

TTT_TEST_MAIN(SpeakerTestTest)
#include "test_speakertest.moc"
