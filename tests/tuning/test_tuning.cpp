// The tuning screen end to end: real widgets clicked on a real window whose headset is
// the emulator, asserting the reports on the wire, the settings file and the widgets.

#include "common/headsetemulator.h"
#include "common/testmain.h"
#include "common/tracecapture.h"
#include "device/UsbHidOperation.h"
#include "bandsintests.h"
#include "tuningfixture.h"
#include "window/ToneTuningTool.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTabBar>
#include <QTimerEvent>

#include <algorithm>
#include <chrono>
#include <memory>

using namespace tuning;

Q_DECLARE_METATYPE(QVector<CustomSeed>)

namespace
{

std::vector<int> padded(std::vector<int> bands)
{
    bands.resize(10, 0);
    return bands;
}

std::vector<int> lowerHalf(const std::vector<int> &bands)
{
    return std::vector<int>(bands.begin(), bands.begin() + 5);
}

std::vector<int> upperHalf(const std::vector<int> &bands)
{
    return std::vector<int>(bands.begin() + 5, bands.end());
}

QString stereoOrSurroundSwitch(int tab, int model)
{
    // The algorithm switch that follows a complete upload: A on the surround tab, C on
    // the stereo tab and, for model 1, on the surround tab too.
    return tab == Surround && model != 1 ? "01 00 01 00 00 00" : "01 00 00 00 00 01";
}

const QString kEncOn = "01 00 00 00 01 00";
const QString kEncOff = "01 00 00 00 02 00";

// The noise-cancellation requests among the algorithm switch requests.
QStringList micRequests(const QStringList &switches)
{
    QStringList mic;
    for (const QString &request : switches) {
        if (request == kEncOn || request == kEncOff)
            mic << request;
    }
    return mic;
}

CustomSeed seed(const QString &name, ModeType type, int index)
{
    return {name, type, index, customBands(type, index), "{" + name + "-uuid}"};
}

} // namespace

class TuningTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();

    void modeNumbers_data();
    void modeNumbers();
    void surroundTab_data();
    void surroundTab();
    void customModes_data();
    void customModes();
    void restoreOnConnection_data();
    void restoreOnConnection();
    void rateLimiter_data();
    void rateLimiter();
    void dragUploadsAtMostOncePer500Ticks();
    void soundEqualsScreen_data();
    void soundEqualsScreen();
    void ampersandNameIsNoAccelerator();
    void noHeadset_data();
    void noHeadset();
    void micSwitch_data();
    void micSwitch();
    void stringExtractNum_data();
    void stringExtractNum();

  private:
    // Opens a window on `headset` (null: none plugged) after `prepare` has written the
    // settings file; a window already open under the same key is reused.
    void openWindow(const Headset *headset, const QString &key, const std::function<void()> &prepare);
    void closeWindow();
    // Waits until every upload so far has both halves on the wire and its acknowledged
    // upper half has been followed by the algorithm switch, then marks the wire log.
    void settle();
    bool uploadsComplete() const;
    // Keeps the slider rate limiter shut, as right after start, so the uploads a test
    // sees come from the action itself; the limiter has its own tests.
    void shutRateLimiter();
    void tick(int count);
    bool command(const QString &line) const;
    QVector<PeqHalf> peqSent() const { return peqRequests(m_emulator->wireSince()); }
    QStringList switchesSent() const { return switchRequests(m_emulator->wireSince()); }
    QRadioButton *radio(const QString &objectName) const;
    std::vector<int> sliders(ModeType type) const;
    bool slidersEnabled(ModeType type) const;
    QStringList visibleCustomTexts(ModeType type) const;

    std::unique_ptr<ToneTuningTool> m_window;
    const Headset *m_headset = nullptr;
    QString m_key;
    std::unique_ptr<HeadsetEmulator> m_emulator;
    std::unique_ptr<TraceCapture> m_traces;
    std::unique_ptr<BoxCatcher> m_boxes;
};

void TuningTest::initTestCase()
{
    writePresetFiles(QCoreApplication::applicationDirPath());
    m_emulator = std::make_unique<HeadsetEmulator>(emulatorConfig());
    // The stereo tab of model 0 streams the spectrum; one frame a second keeps the wire
    // log, which the tests read back often, short.
    QVERIFY(command("spectrum rate 1"));
    m_boxes = std::make_unique<BoxCatcher>();
    m_traces = std::make_unique<TraceCapture>();
}

void TuningTest::cleanupTestCase()
{
    closeWindow();
    m_traces.reset();
    m_emulator.reset();
}

bool TuningTest::command(const QString &line) const
{
    const QString answer = m_emulator->command(line);
    if (answer != "ok")
        qWarning("emulator: \"%s\" answered \"%s\"", qPrintable(line), qPrintable(answer));
    return answer == "ok";
}

void TuningTest::openWindow(const Headset *headset, const QString &key, const std::function<void()> &prepare)
{
    if (m_window && m_key == key && m_headset == headset) {
        m_boxes->seen.clear();
        m_emulator->markWire();
        return;
    }
    closeWindow();
    RETURN_IF_FAILED();
    prepare();
    QVERIFY(command("unplug"));
    if (headset)
        QVERIFY(command(QString("plug %1").arg(headset->id)));
    m_emulator->markWire();
    m_boxes->seen.clear();
    m_window = std::make_unique<ToneTuningTool>();
    m_window->show();
    m_headset = headset;
    m_key = key;
    if (headset) {
        QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 1, 5000);
        settle();
    }
    m_boxes->seen.clear();
    m_emulator->markWire();
}

void TuningTest::closeWindow()
{
    if (!m_window)
        return;
    QVERIFY(command("unplug"));
    if (m_headset)
        QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 0, 5000);
    m_window.reset();
    m_headset = nullptr;
    m_key.clear();
}

bool TuningTest::uploadsComplete() const
{
    // Acknowledgements that come close together share one algorithm switch (the window
    // clears the acknowledgement it has acted on), so no acknowledgement may be left
    // unhandled either.
    return tuning::uploadsComplete(m_emulator->wireSince(), m_headset != nullptr, m_window->m_soundMode != 3,
                                   [] { return peqAckFirstBand != 5; });
}

void TuningTest::settle()
{
    QTRY_VERIFY_WITH_TIMEOUT(uploadsComplete(), 5000);
    m_emulator->markWire();
}

void TuningTest::shutRateLimiter()
{
    m_window->m_sliderMoving = 0;
    m_window->m_sliderTicks = 0;
    m_window->m_peqSendAllowed = 0;
    m_window->m_sliderChangeHeldBack = {};
}

void TuningTest::tick(int count)
{
    // The tick timer stops itself once it has granted the permission.
    for (int i = 0; i < count && m_window->m_tickTimerId != 0; ++i) {
        QTimerEvent event(m_window->m_tickTimerId);
        QCoreApplication::sendEvent(m_window.get(), &event);
    }
}

QRadioButton *TuningTest::radio(const QString &objectName) const
{
    auto *button = m_window->findChild<QRadioButton *>(objectName);
    if (!button)
        qWarning("no radio button %s", qPrintable(objectName));
    return button;
}

std::vector<int> TuningTest::sliders(ModeType type) const
{
    return m_window->getSliderValue(type);
}

bool TuningTest::slidersEnabled(ModeType type) const
{
    bool all = true;
    bool none = true;
    for (int band = 0; band < 10; ++band) {
        all = all && m_window->getBandSlider(type, band)->isEnabled();
        none = none && !m_window->getBandSlider(type, band)->isEnabled();
    }
    if (!all && !none)
        qWarning("the sliders of one type are partly enabled");
    return all;
}

QStringList TuningTest::visibleCustomTexts(ModeType type) const
{
    QStringList texts;
    for (int position = 0; position < 5; ++position) {
        if (m_window->getCustomizeButton(type, position)->isVisible())
            texts << m_window->getCustomizeButton(type, position)->text();
    }
    return texts;
}

// ---------------------------------------------------------------------------------------
// A click on a preset or custom button: the settings file, the sliders, both halves of
// the upload with the mode number of the headset model, then the algorithm switch.

void TuningTest::modeNumbers_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("custom");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("alreadySelected");
    QTest::addColumn<int>("modeNumber");
    QTest::addColumn<QString>("logValue");

    // The device link admits only the model-0 product id so far; rows of other models take
    // a model-0 headset and give the window the model it would derive for theirs.
    QTest::newRow("stereo Pop, model 0")
        << 0 << "radioButton_Stereo_Pop" << 1 << false << 0 << false << 0 << "Stereo Pop";
    QTest::newRow("stereo Pop again, model 0")
        << 0 << "radioButton_Stereo_Pop" << 1 << false << 0 << true << 0 << "Stereo Pop";
    QTest::newRow("stereo Rock && Roll, model 0")
        << 0 << "radioButton_Stereo_RockRoll" << 1 << false << 1 << false << 1 << "Stereo RockRoll";
    QTest::newRow("stereo Jazz of seven bands, model 0")
        << 0 << "radioButton_Stereo_Jazz" << 1 << false << 3 << false << 3 << "Stereo Jazz";
    QTest::newRow("surround Deep Bass, model 0")
        << 0 << "radioButton_Surround_DeepBass" << 0 << false << 0 << false << 16 << "";
    QTest::newRow("surround FPS, model 0")
        << 0 << "radioButton_Surround_FPS" << 0 << false << 1 << false << 17 << "";
    QTest::newRow("surround MOBA, model 0")
        << 0 << "radioButton_Surround_Moba" << 0 << false << 2 << false << 18 << "Surround Moba";
    QTest::newRow("surround Solvane Optimised, model 0")
        << 0 << "radioButton_Surround_TavoStandard" << 0 << false << 3 << false << 19
        << "Surround TavoStandard";
    QTest::newRow("stereo custom first, model 0")
        << 0 << "radioButton_Stereo_Custom1" << 1 << true << 0 << false << 6 << "";
    QTest::newRow("stereo custom fifth, model 0")
        << 0 << "radioButton_Stereo_Custom5" << 1 << true << 4 << false << 10 << "";
    QTest::newRow("surround custom first, model 0")
        << 0 << "radioButton_Surround_Custom1" << 0 << true << 0 << false << 22 << "";
    QTest::newRow("surround custom fifth, model 0")
        << 0 << "radioButton_Surround_Custom5" << 0 << true << 4 << false << 26 << "";
    QTest::newRow("stereo Solvane Optimised, model 1")
        << 1 << "radioButton_Stereo_TavoStandard" << 1 << false << 5 << false << 5 << "Stereo TavoStandard";
    QTest::newRow("surround FPS, model 1")
        << 1 << "radioButton_Surround_FPS" << 0 << false << 1 << false << 1 << "";
    QTest::newRow("surround custom third, model 1")
        << 1 << "radioButton_Surround_Custom3" << 0 << true << 2 << false << 8 << "";
    QTest::newRow("stereo custom third, model 1")
        << 1 << "radioButton_Stereo_Custom3" << 1 << true << 2 << false << 8 << "";
    QTest::newRow("stereo Classic, model 2")
        << 2 << "radioButton_Stereo_Classic" << 1 << false << 4 << false << 4 << "Stereo Classic";
    QTest::newRow("surround FPS, model 2")
        << 2 << "radioButton_Surround_FPS" << 0 << false << 1 << false << 17 << "";
    QTest::newRow("surround custom fifth, model 2")
        << 2 << "radioButton_Surround_Custom5" << 0 << true << 4 << false << 26 << "";
}

void TuningTest::modeNumbers()
{
    QFETCH(int, model);
    QFETCH(QString, button);
    QFETCH(int, type);
    QFETCH(bool, custom);
    QFETCH(int, position);
    QFETCH(bool, alreadySelected);
    QFETCH(int, modeNumber);
    QFETCH(QString, logValue);
    const Headset &h = kModel0;
    const ModeType modeType = ModeType(type);

    openWindow(&h, "modeNumbers", [] { writeSettingsFile({{&kModel0, fullCustomSeeds(), {}}}); });
    RETURN_IF_FAILED();
    m_window->m_headsetModel = model;

    m_window->setTabWidgetIndex(type);
    if (custom)
        radio(type == Stereo ? "radioButton_Stereo_Customize" : "radioButton_Surround_Customize")->click();
    if (alreadySelected)
        radio(button)->click();
    settle();
    RETURN_IF_FAILED();
    const int entriesBefore = debugLogText().count("mode Clicked");

    shutRateLimiter();
    radio(button)->click();

    // The lower half goes out within the click; the upper one 20 ms later.
    QVector<PeqHalf> peq = peqSent();
    QCOMPARE(peq.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(peqSent().size(), 2, 2000);
    peq = peqSent();
    const std::vector<int> expected =
        padded(custom ? customBands(modeType, position) : presetBands(h, modeType, position));
    QCOMPARE(peq[0].first, 0);
    QCOMPARE(peq[0].last, 4);
    QCOMPARE(peq[0].mode, modeNumber);
    QCOMPARE(peq[0].gains, lowerHalf(expected));
    QCOMPARE(peq[1].first, 5);
    QCOMPARE(peq[1].last, 9);
    QCOMPARE(peq[1].mode, modeNumber);
    QCOMPARE(peq[1].gains, upperHalf(expected));
    QVERIFY2(peq[1].ms - peq[0].ms >= 15,
             qPrintable(QString("halves %1 ms apart").arg(peq[1].ms - peq[0].ms)));

    // The headset's acknowledgement of the upper half brings the tab's algorithm switch.
    QTRY_VERIFY_WITH_TIMEOUT(!switchesSent().isEmpty(), 2000);
    QCOMPARE(switchesSent(), QStringList{stereoOrSurroundSwitch(type, model)});

    QCOMPARE(sliders(modeType), expected);
    QCOMPARE(slidersEnabled(modeType), custom);
    const QString uuid = custom ? QString("{%1custom%2}").arg(type == Stereo ? "S" : "R").arg(position)
                                : presetUuid(h, modeType, position);
    QCOMPARE(rememberedUuid(h), uuid);
    const QString log = debugLogText();
    if (logValue.isEmpty()) {
        QCOMPARE(log.count("mode Clicked"), entriesBefore);
    } else {
        QCOMPARE(log.count("mode Clicked"), entriesBefore + 1);
        QVERIFY(log.contains("mode Clicked : " + logValue));
    }
    QCOMPARE(m_boxes->seen, QStringList());
}

// ---------------------------------------------------------------------------------------
// The surround tab on a headset without 7.1 processing.

void TuningTest::surroundTab_data()
{
    QTest::addColumn<QString>("headset");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("tabAfter");
    QTest::addColumn<int>("reappliedMode"); // the lower half sent by the tab change
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("no 7.1 on model 0: refused")
        << "m0-nosurround" << 0 << 1 << 5 << QStringList{"prompt|The device does not support this algorithm"};
    // Model 1 is had as in modeNumbers: a model-0 headset the window takes for model 1.
    QTest::newRow("no 7.1 on model 1: shown") << "m0-nosurround" << 1 << 0 << 3 << QStringList();
    QTest::newRow("7.1 on model 0: shown") << "m0" << 0 << 0 << 19 << QStringList();
}

void TuningTest::surroundTab()
{
    QFETCH(QString, headset);
    QFETCH(int, model);
    QFETCH(int, tabAfter);
    QFETCH(int, reappliedMode);
    QFETCH(QStringList, boxes);

    openWindow(&headsetById(headset), QString("surroundTab ") + QTest::currentDataTag(), removeSettingsFile);
    RETURN_IF_FAILED();
    m_window->m_headsetModel = model;
    QCOMPARE(m_window->ui.tabWidget->currentIndex(), 1);

    int tabWhenBoxShown = -1;
    QVector<PeqHalf> uploadsBeforeBox;
    m_boxes->onBox = [&] {
        tabWhenBoxShown = m_window->ui.tabWidget->currentIndex();
        uploadsBeforeBox = peqSent();
    };
    shutRateLimiter();
    QTabBar *bar = m_window->ui.tabWidget->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    m_boxes->onBox = nullptr;

    QCOMPARE(m_boxes->seen, boxes);
    QCOMPARE(m_window->ui.tabWidget->currentIndex(), tabAfter);
    QCOMPARE(m_window->m_soundMode, tabAfter == Surround ? 2 : 1);
    QCOMPARE(m_window->ui.widget_Param_Surround->isVisible(), tabAfter == Surround);
    const QVector<PeqHalf> sent = boxes.isEmpty() ? peqSent() : uploadsBeforeBox;
    if (!boxes.isEmpty())
        QCOMPARE(tabWhenBoxShown, 1);
    QVERIFY(!sent.isEmpty());
    QCOMPARE(sent.first().first, 0);
    QCOMPARE(sent.first().mode, reappliedMode);
    settle();
}

// ---------------------------------------------------------------------------------------
// Custom modes of one type, driven through their buttons.
//
// Actions: "customize", "add", "clear", "save", "reset", "select <position>",
// "slider <band>=<value>", "name <text>", "tab <index>", and "permit" (the rate limiter
// allows the next slider upload, as after 500 ticks; otherwise it is kept shut).

namespace
{

// One custom-mode scenario and what must hold after its last action.
struct CustomScenario {
    ModeType type = Stereo;
    QVector<CustomSeed> seeds;
    QStringList actions;
    QStringList visible;    // texts of the visible custom buttons, by position
    QStringList stored;     // "name@index" in the settings file, in file order
    QString applied;        // name of the mode the settings file remembers
    QList<int> lastUploads; // mode numbers uploaded by the last action
    QString storedBandsOf;  // a stored mode whose bands are checked, empty: none
    std::vector<int> storedBands;
    std::vector<int> sliderBands;
    bool groupVisible = true; // the custom buttons' frame
    bool editVisible = true;  // the name field, Save and Reset
    bool slidersEnabled = true;
    QStringList boxes;
};

} // namespace

Q_DECLARE_METATYPE(CustomScenario)

void TuningTest::customModes_data()
{
    QTest::addColumn<CustomScenario>("scenario");
    const auto S = [](const QString &name, int index) { return seed(name, Stereo, index); };
    const std::vector<int> flat(10, 0);
    CustomScenario s;

    s = {};
    s.actions = QStringList{"customize", "add"};
    s.visible = QStringList{"Mode01"};
    s.stored = QStringList{"Mode01@0"};
    s.applied = "Mode01";
    s.lastUploads = QList<int>{6};
    s.storedBandsOf = "Mode01";
    s.storedBands = s.sliderBands = flat;
    QTest::newRow("add to an empty type") << s;

    s.seeds = QVector<CustomSeed>{S("Mode01", 0), S("Mode03", 1)};
    s.visible = QStringList{"Mode01", "Mode03", "Mode02"};
    s.stored = QStringList{"Mode01@0", "Mode02@2", "Mode03@1"};
    s.applied = "Mode02";
    s.lastUploads = QList<int>{8};
    s.storedBandsOf = "Mode02";
    QTest::newRow("add fills the lowest free name") << s;

    s = {};
    s.seeds =
        QVector<CustomSeed>{S("Mode01", 0), S("Mode02", 1), S("Mode03", 2), S("Mode04", 3), S("Mode05", 4)};
    s.actions = QStringList{"customize", "select 2", "add"};
    s.visible = QStringList{"Mode01", "Mode02", "Mode03", "Mode04", "Mode05"};
    s.stored = QStringList{"Mode01@0", "Mode02@1", "Mode03@2", "Mode04@3", "Mode05@4"};
    s.applied = "Mode03";
    s.sliderBands = customBands(Stereo, 2);
    QTest::newRow("sixth add refused") << s;

    s = {};
    s.seeds = QVector<CustomSeed>{S("Mode01", 0)};
    s.actions = QStringList{"customize", "slider 2=7", "slider 9=-4", "name Bass", "save"};
    s.visible = QStringList{"Bass"};
    s.stored = QStringList{"Bass@0"};
    s.applied = "Bass";
    s.storedBandsOf = "Bass";
    s.storedBands = customBands(Stereo, 0);
    s.storedBands[2] = 7;
    s.storedBands[9] = -4;
    s.sliderBands = s.storedBands;
    QTest::newRow("save renames and stores the sliders") << s;

    s.actions = QStringList{"customize", "name Bass", "save", "add"};
    s.visible = QStringList{"Bass", "Mode01"};
    s.stored = QStringList{"Bass@0", "Mode01@1"};
    s.applied = "Mode01";
    s.lastUploads = QList<int>{7};
    s.storedBandsOf = "Mode01";
    s.storedBands = s.sliderBands = flat;
    QTest::newRow("a renamed default name is offered again") << s;

    s = {};
    s.seeds = QVector<CustomSeed>{S("Mode01", 0), S("Mode02", 1)};
    s.actions = QStringList{"customize", "select 1", "slider 0=12", "save"};
    s.visible = QStringList{"Mode01", "Mode02"};
    s.stored = QStringList{"Mode01@0", "Mode02@1"};
    s.applied = "Mode02";
    s.storedBandsOf = "Mode02";
    s.storedBands = customBands(Stereo, 1);
    s.storedBands[0] = 12;
    s.sliderBands = s.storedBands;
    QTest::newRow("save under the unchanged name stores the sliders") << s;

    s.actions = QStringList{"customize", "select 1", "slider 0=12", "name Mode01", "save"};
    s.storedBands = customBands(Stereo, 1);
    s.boxes = QStringList{"warning|The current name has been applied"};
    QTest::newRow("another mode's name refused") << s;

    s.actions = QStringList{"customize", "select 1", "name mode01", "save"};
    s.visible = QStringList{"Mode01", "mode01"};
    s.stored = QStringList{"Mode01@0", "mode01@1"};
    s.applied = "mode01";
    s.storedBandsOf = "mode01";
    s.storedBands = s.sliderBands = customBands(Stereo, 1);
    s.boxes = QStringList{};
    QTest::newRow("names differing in case are different") << s;

    s = {};
    s.seeds = QVector<CustomSeed>{S("A", 0), S("B", 1), S("C", 2), S("D", 3)};
    s.actions = QStringList{"customize", "select 1", "clear"};
    s.visible = QStringList{"A", "C", "D"};
    s.stored = QStringList{"A@0", "C@1", "D@2"};
    s.applied = "C";
    s.lastUploads = QList<int>{7};
    s.sliderBands = customBands(Stereo, 2);
    QTest::newRow("delete renumbers and applies the mode now at the checked position") << s;

    s.seeds = QVector<CustomSeed>{S("A", 0), S("B", 1), S("C", 2)};
    s.actions = QStringList{"customize", "select 2", "clear"};
    s.visible = QStringList{"A", "B"};
    s.stored = QStringList{"A@0", "B@1"};
    s.applied = "A";
    s.lastUploads = QList<int>{6};
    s.sliderBands = customBands(Stereo, 0);
    QTest::newRow("delete at the last position applies the first") << s;

    s = {};
    s.seeds = QVector<CustomSeed>{S("A", 0)};
    s.actions = QStringList{"customize", "clear"};
    s.applied = "A";
    s.lastUploads = QList<int>{6};
    s.sliderBands = flat;
    s.groupVisible = s.editVisible = s.slidersEnabled = false;
    QTest::newRow("deleting the last mode locks the flat sliders it sends") << s;

    s.actions = QStringList{"customize", "clear", "add"};
    s.visible = QStringList{"Mode01"};
    s.stored = QStringList{"Mode01@0"};
    s.applied = "Mode01";
    s.groupVisible = s.editVisible = s.slidersEnabled = true;
    QTest::newRow("a mode added after the last delete unlocks the sliders") << s;

    s = {};
    s.seeds = QVector<CustomSeed>{S("A", 0)};
    s.actions = QStringList{"customize", "permit", "reset"};
    s.visible = QStringList{"A"};
    s.stored = QStringList{"A@0"};
    s.applied = "A";
    s.lastUploads = QList<int>{6};
    s.storedBandsOf = "A";
    s.storedBands = customBands(Stereo, 0);
    s.sliderBands = flat;
    QTest::newRow("reset sends flat bands and stores nothing") << s;

    s.actions = QStringList{"customize", "slider 3=9", "reset"};
    QTest::newRow("reset held back by the limiter still sends flat") << s;

    s = {};
    s.actions = QStringList{"customize"};
    s.applied = "Solvane Optimised";
    s.lastUploads = QList<int>{6};
    s.sliderBands = flat;
    s.groupVisible = s.editVisible = s.slidersEnabled = false;
    QTest::newRow("customize without custom modes sends the flat bands it shows") << s;

    s.actions = QStringList{"customize", "tab 0", "tab 1"};
    s.applied = "surround Solvane Optimised"; // the surround tab applied its preset on the way
    QTest::newRow("back from the surround tab, customize without custom modes sends flat again") << s;

    s.type = Surround;
    s.actions = QStringList{"customize"};
    s.applied = "Solvane Optimised";
    s.lastUploads = QList<int>{22};
    QTest::newRow("surround customize without custom modes sends flat") << s;

    s = {};
    s.seeds = QVector<CustomSeed>{S("R&B", 0), S("Mode02", 1)};
    s.actions = QStringList{"customize"};
    s.visible = QStringList{"R&&B", "Mode02"};
    s.stored = QStringList{"Mode02@1", "R&B@0"};
    s.applied = "R&B";
    s.lastUploads = QList<int>{6};
    s.sliderBands = customBands(Stereo, 0);
    QTest::newRow("a name with & is applied by its literal name") << s;

    s.actions = QStringList{"customize", "select 1", "name Drum & Bass", "save"};
    s.visible = QStringList{"R&&B", "Drum && Bass"};
    s.stored = QStringList{"Drum & Bass@1", "R&B@0"};
    s.applied = "Drum & Bass";
    s.lastUploads = QList<int>{};
    s.storedBandsOf = "Drum & Bass";
    s.storedBands = s.sliderBands = customBands(Stereo, 1);
    QTest::newRow("a name with & is saved and shown literally") << s;

    s.actions = QStringList{"customize", "select 1", "name Drum & Bass", "save", "select 0", "clear"};
    s.visible = QStringList{"Drum && Bass"};
    s.stored = QStringList{"Drum & Bass@0"};
    s.lastUploads = QList<int>{6};
    s.storedBandsOf.clear();
    s.sliderBands = customBands(Stereo, 1);
    QTest::newRow("a mode named with & is deleted by its literal name") << s;

    s = {};
    s.actions = QStringList{"customize", "add", "tab 2", "tab 1"};
    s.visible = QStringList{"Mode01"};
    s.stored = QStringList{"Mode01@0"};
    s.applied = "Mode01";
    s.lastUploads = QList<int>{6};
    s.sliderBands = flat;
    QTest::newRow("back from the microphone tab, the custom mode is applied again") << s;

    s = {};
    s.type = Surround;
    s.actions = QStringList{"customize", "add"};
    s.visible = QStringList{"Mode01"};
    s.stored = QStringList{"Mode01@0"};
    s.applied = "Mode01";
    s.lastUploads = QList<int>{22};
    s.sliderBands = flat;
    QTest::newRow("surround add to an empty type") << s;
}

void TuningTest::customModes()
{
    QFETCH(CustomScenario, scenario);
    const CustomScenario &s = scenario;
    const QString prefix = s.type == Stereo ? "Stereo" : "Surround";

    openWindow(&kModel0, QString("customModes ") + QTest::currentDataTag(), [&] {
        writeSettingsFile({{&kModel0, s.seeds, {}}});
    });
    RETURN_IF_FAILED();
    m_window->setTabWidgetIndex(s.type);

    bool permit = false;
    for (const QString &action : s.actions) {
        settle();
        RETURN_IF_FAILED();
        shutRateLimiter();
        if (permit)
            m_window->m_peqSendAllowed = 1;
        permit = false;
        const QString verb = action.section(' ', 0, 0);
        const QString argument = action.section(' ', 1);
        if (verb == "customize") {
            radio(QString("radioButton_%1_Customize").arg(prefix))->click();
        } else if (verb == "add") {
            m_window->findChild<QPushButton *>(QString("pushButton_%1_CustomAdd").arg(prefix))->click();
        } else if (verb == "clear") {
            m_window->findChild<QPushButton *>(QString("pushButton_%1_CustomClear").arg(prefix))->click();
        } else if (verb == "save") {
            m_window->ui.pushButton_CustomSave->click();
        } else if (verb == "reset") {
            m_window->ui.pushButton_CustomReset->click();
        } else if (verb == "select") {
            m_window->getCustomizeButton(s.type, argument.toInt())->click();
        } else if (verb == "slider") {
            m_window->getBandSlider(s.type, argument.section('=', 0, 0).toInt())
                ->setValue(argument.section('=', 1).toInt());
        } else if (verb == "name") {
            m_window->ui.lineEdit_CustomName->clear();
            QTest::keyClicks(m_window->ui.lineEdit_CustomName, argument);
        } else if (verb == "tab") {
            m_window->setTabWidgetIndex(argument.toInt());
        } else if (verb == "permit") {
            permit = true;
        } else {
            QFAIL(qPrintable("unknown action " + action));
        }
    }

    QTRY_VERIFY_WITH_TIMEOUT(uploadsComplete(), 5000);
    QList<int> uploads;
    for (const PeqHalf &half : peqSent()) {
        if (half.first == 0)
            uploads << half.mode;
    }
    QCOMPARE(uploads, s.lastUploads);
    QCOMPARE(visibleCustomTexts(s.type), s.visible);
    QCOMPARE(storedCustomModes(kModel0, s.type), s.stored);
    QCOMPARE(m_boxes->seen, s.boxes);

    // The remembered mode: a stored one by its uuid, a deleted one by the uuid it had.
    QString appliedUuid;
    for (const CustomSeed &seeded : s.seeds) {
        if (seeded.name == s.applied)
            appliedUuid = seeded.uuid;
    }
    for (const QJsonValue &device : readSettingsFile().value("customizeMode").toArray()) {
        for (const QJsonValue &mode : device.toObject().value("modes").toArray()) {
            if (mode.toObject().value("name").toString() == s.applied)
                appliedUuid = mode.toObject().value("uuid").toString();
        }
    }
    if (s.applied == "Solvane Optimised")
        appliedUuid = presetUuid(kModel0, s.type, s.type == Stereo ? 5 : 3);
    if (s.applied == "surround Solvane Optimised")
        appliedUuid = presetUuid(kModel0, Surround, 3);
    QCOMPARE(rememberedUuid(kModel0), appliedUuid);

    if (!s.storedBandsOf.isEmpty())
        QCOMPARE(storedCustomBands(kModel0, s.storedBandsOf), s.storedBands);
    QCOMPARE(sliders(s.type), s.sliderBands);
    QCOMPARE(m_window->findChild<QWidget *>("groupBox_" + prefix)->isVisible(), s.groupVisible);
    QCOMPARE(m_window->ui.pushButton_CustomSave->isVisible(), s.editVisible);
    QCOMPARE(m_window->ui.lineEdit_CustomName->isVisible(), s.editVisible);
    QCOMPARE(slidersEnabled(s.type), s.slidersEnabled);
}

// ---------------------------------------------------------------------------------------
// Restoring the screen when a headset is connected.

void TuningTest::restoreOnConnection_data()
{
    QTest::addColumn<QString>("headset");
    QTest::addColumn<QVector<CustomSeed>>("seeds");
    QTest::addColumn<QString>("remembered"); // uuid in the settings file, empty: none
    QTest::addColumn<QList<int>>("uploads"); // mode numbers of the uploads, in order
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QString>("appliedUuid");
    QTest::addColumn<std::vector<int>>("bands"); // the sliders of the remembered mode's type
    QTest::addColumn<bool>("editable");

    const QVector<CustomSeed> customs{seed("Sa", Stereo, 0), seed("Sb", Stereo, 1), seed("Ra", Surround, 0),
                                      seed("Rb", Surround, 1)};

    QTest::newRow("new headset: both Solvane Optimised, stereo last")
        << "m0" << QVector<CustomSeed>{} << "" << QList<int>{19, 5} << 1
        << QStringList{"radioButton_Surround_TavoStandard", "radioButton_Stereo_TavoStandard"}
        << presetUuid(kModel0, Stereo, 5) << padded(presetBands(kModel0, Stereo, 5)) << false;
    QTest::newRow("remembered stereo custom mode")
        << "m0" << customs << "{Sb-uuid}" << QList<int>{19, 6, 7} << 1
        << QStringList{"radioButton_Surround_TavoStandard", "radioButton_Stereo_Customize",
                       "radioButton_Stereo_Custom2"}
        << "{Sb-uuid}" << customBands(Stereo, 1) << true;
    const QVector<CustomSeed> ampersand{seed("Sa", Stereo, 0), seed("R&B", Stereo, 1)};
    QTest::newRow("remembered stereo custom mode named with &")
        << "m0" << ampersand << "{R&B-uuid}" << QList<int>{19, 6, 7} << 1
        << QStringList{"radioButton_Surround_TavoStandard", "radioButton_Stereo_Customize",
                       "radioButton_Stereo_Custom2"}
        << "{R&B-uuid}" << customBands(Stereo, 1) << true;
    QTest::newRow("remembered surround preset")
        << "m0" << customs << presetUuid(kModel0, Surround, 2) << QList<int>{5, 18} << 0
        << QStringList{"radioButton_Stereo_TavoStandard", "radioButton_Surround_Moba"}
        << presetUuid(kModel0, Surround, 2) << padded(presetBands(kModel0, Surround, 2)) << false;
    QTest::newRow("remembered surround custom mode")
        << "m0" << customs << "{Rb-uuid}" << QList<int>{5, 22, 23} << 0
        << QStringList{"radioButton_Stereo_TavoStandard", "radioButton_Surround_Customize",
                       "radioButton_Surround_Custom2"}
        << "{Rb-uuid}" << customBands(Surround, 1) << true;
    QTest::newRow("remembered mode deleted meanwhile")
        << "m0" << customs << "{gone}" << QList<int>{19, 5} << 1
        << QStringList{"radioButton_Surround_TavoStandard", "radioButton_Stereo_TavoStandard"}
        << presetUuid(kModel0, Stereo, 5) << padded(presetBands(kModel0, Stereo, 5)) << false;
}

void TuningTest::restoreOnConnection()
{
    QFETCH(QString, headset);
    QFETCH(QVector<CustomSeed>, seeds);
    QFETCH(QString, remembered);
    QFETCH(QList<int>, uploads);
    QFETCH(int, tab);
    QFETCH(QStringList, checked);
    QFETCH(QString, appliedUuid);
    QFETCH(std::vector<int>, bands);
    QFETCH(bool, editable);
    const Headset &h = headsetById(headset);

    closeWindow();
    RETURN_IF_FAILED();
    writeSettingsFile({{&h, seeds, remembered}});
    QVERIFY(command(QString("plug %1").arg(h.id)));
    m_emulator->markWire();
    m_window = std::make_unique<ToneTuningTool>();
    m_window->show();
    m_headset = &h;
    QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 1, 5000);
    // The restore runs in one go when the headset view appears; its uploads are on the
    // wire (lower halves at once) before the test looks.
    QTRY_VERIFY_WITH_TIMEOUT(uploadsComplete(), 5000);

    QList<int> sent;
    for (const PeqHalf &half : peqSent()) {
        if (half.first == 0)
            sent << half.mode;
    }
    QCOMPARE(sent, uploads);
    QCOMPARE(m_window->ui.tabWidget->currentIndex(), tab);
    for (const QString &name : checked)
        QVERIFY2(radio(name)->isChecked(), qPrintable(name));
    QCOMPARE(rememberedUuid(h), appliedUuid);
    const ModeType type = ModeType(tab);
    QCOMPARE(sliders(type), bands);
    QCOMPARE(slidersEnabled(type), editable);
    QCOMPARE(m_boxes->seen, QStringList());
    m_key = "restored";
}

// ---------------------------------------------------------------------------------------
// The slider rate limiter, tick by tick. Steps, each optionally followed by ":<n>" (n
// uploads must be on the wire when the step returns): "move" and "back" (the user moves a
// stereo slider one step and back), "tick <n>" (the 1 ms tick), "surround" (a surround
// slider moved by code while the stereo tab is current), "same" (the stereo sliders set to
// the values they have), "preset" (stereo Pop clicked), "reset" (Reset clicked).

void TuningTest::rateLimiter_data()
{
    QTest::addColumn<QStringList>("steps");

    QTest::newRow("a move held back goes out when the window ends")
        << QStringList{"move:0", "tick 499:0", "tick 1:1", "tick 500:1"};
    QTest::newRow("a move after the 500th tick uploads at once")
        << QStringList{"move:0", "tick 500:1", "tick 500:1", "move:2"};
    QTest::newRow("a move does not restart the count")
        << QStringList{"move:0", "tick 499:0", "move:0", "tick 1:1"};
    QTest::newRow("a drag uploads once per 500 ticks and its end last")
        << QStringList{"move:0", "tick 500:1", "move:1",   "tick 100", "move:1",   "tick 100",
                       "move:1", "tick 300:2", "move:2",   "tick 250", "move:2",   "tick 249:2",
                       "tick 1:3", "tick 500:3"};
    QTest::newRow("a drag back to the uploaded values sends nothing more")
        << QStringList{"move:0", "tick 500:1", "move:1", "back:1", "tick 500:1", "move:2"};
    QTest::newRow("a surround move on the stereo tab spends the permission")
        << QStringList{"move:0", "tick 500:1", "tick 500:1", "surround:1", "move:1", "tick 500:2"};
    QTest::newRow("setting equal values keeps the permission")
        << QStringList{"move:0", "tick 500:1", "tick 500:1", "same:1", "move:2"};
    QTest::newRow("a preset applied in the window is not overwritten by its end")
        << QStringList{"move:0", "preset:1", "tick 500:1"};
    QTest::newRow("reset in the window sends flat at once, and nothing at its end")
        << QStringList{"move:0", "reset:1", "tick 500:1"};
}

void TuningTest::rateLimiter()
{
    QFETCH(QStringList, steps);

    openWindow(&kModel0, "rateLimiter", [] { writeSettingsFile({{&kModel0, {seed("A", Stereo, 0)}, {}}}); });
    RETURN_IF_FAILED();
    m_window->setTabWidgetIndex(Stereo);
    radio("radioButton_Stereo_Customize")->click();
    settle();
    RETURN_IF_FAILED();
    QVERIFY(slidersEnabled(Stereo));

    // Nothing below lets the event loop run, so only the ticks sent here count.
    shutRateLimiter();
    int direction = 1;
    int uploaded = 0;
    for (const QString &step : steps) {
        const QString action = step.section(':', 0, 0);
        QSlider *slider = m_window->getBandSlider(Stereo, 3);
        if (action.startsWith("tick")) {
            tick(action.section(' ', 1).toInt());
        } else if (action == "move" || action == "back") {
            if (action == "move" && (slider->value() >= slider->maximum() || slider->value() <= slider->minimum()))
                direction = -direction;
            const bool up = (direction > 0) == (action == "move");
            slider->triggerAction(up ? QSlider::SliderSingleStepAdd : QSlider::SliderSingleStepSub);
        } else if (action == "surround") {
            QSlider *surround = m_window->getBandSlider(Surround, 0);
            surround->setValue(surround->value() == 0 ? 1 : 0);
        } else if (action == "same") {
            m_window->setSliderValue(sliders(Stereo), Stereo);
        } else if (action == "preset") {
            radio("radioButton_Stereo_Pop")->click();
        } else if (action == "reset") {
            m_window->ui.pushButton_CustomReset->click();
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
        if (!step.contains(':'))
            continue;
        const int expected = step.section(':', 1).toInt();
        const QVector<PeqHalf> lowers = peqSent();
        QCOMPARE(lowers.size(), expected); // only lower halves: no event loop ran yet
        if (expected > uploaded) {
            // An upload carries the sliders as they are, with the number of what is applied.
            QCOMPARE(lowers.last().mode, action == "preset" ? 0 : 6);
            QCOMPARE(lowers.last().gains, lowerHalf(sliders(Stereo)));
        }
        uploaded = expected;
    }
    settle();
}

// The same limiter against the real 1 ms tick: a drag of a second and a half.
void TuningTest::dragUploadsAtMostOncePer500Ticks()
{
    openWindow(&kModel0, "rateLimiter", [] { writeSettingsFile({{&kModel0, {seed("A", Stereo, 0)}, {}}}); });
    RETURN_IF_FAILED();
    m_window->setTabWidgetIndex(Stereo);
    radio("radioButton_Stereo_Customize")->click();
    settle();
    RETURN_IF_FAILED();

    shutRateLimiter();
    QSlider *slider = m_window->getBandSlider(Stereo, 5);
    const auto uploadTimes = [this] {
        QVector<double> starts;
        for (const PeqHalf &half : peqSent()) {
            if (half.first == 0)
                starts << half.ms;
        }
        return starts;
    };
    QElapsedTimer drag;
    drag.start();
    int direction = 1;
    // Dragged until three uploads have gone out (or for at most 5 s on a crawling machine).
    for (int moves = 0; drag.elapsed() < 5000 && (moves % 10 != 0 || uploadTimes().size() < 3); ++moves) {
        if (slider->value() >= 12 || slider->value() <= -12)
            direction = -direction;
        slider->triggerAction(direction > 0 ? QSlider::SliderSingleStepAdd : QSlider::SliderSingleStepSub);
        // The pace of the drag, with the event loop (and so the tick) running meanwhile.
        QEventLoop pace;
        QTimer::singleShot(10, &pace, &QEventLoop::quit);
        pace.exec();
    }
    const QVector<double> starts = uploadTimes();
    settle();
    QVERIFY2(!starts.isEmpty(), "a drag of 5 s uploaded nothing");
    for (int i = 1; i < starts.size(); ++i)
        QVERIFY2(starts[i] - starts[i - 1] >= 450, qPrintable(QString::number(starts[i] - starts[i - 1])));
}

// What the headset plays once the user stops is what the sliders show, against the real
// 1 ms tick: the end of a slow drag, of a burst of key presses, and a Reset right after a
// move all reach the wire, and slider uploads still keep 500 ms apart.
void TuningTest::soundEqualsScreen_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::newRow("a slow drag to +12 ends with +12 on the headset") << "drag";
    QTest::newRow("a key burst ends with its last value on the headset") << "keys";
    QTest::newRow("reset 200 ms after a move ends flat on the headset") << "reset";
}

void TuningTest::soundEqualsScreen()
{
    QFETCH(QString, gesture);
    using Clock = std::chrono::steady_clock;
    const auto msBetween = [](Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };

    openWindow(&kModel0, "rateLimiter", [] { writeSettingsFile({{&kModel0, {seed("A", Stereo, 0)}, {}}}); });
    RETURN_IF_FAILED();
    m_window->setTabWidgetIndex(Stereo);
    radio("radioButton_Stereo_Customize")->click();
    QSlider *slider = m_window->getBandSlider(Stereo, 5);
    slider->setValue(0);
    // The limiter at rest (its 500 ticks take longer than 500 ms on a crawling machine).
    QTRY_VERIFY_WITH_TIMEOUT(m_window->m_tickTimerId == 0, 30000);
    settle();
    RETURN_IF_FAILED();

    // The emulator stamps a report when it is written, on its own steady clock; the lower
    // half of an upload is written inside the click, which ties that clock to ours.
    const Clock::time_point beforeClick = Clock::now();
    m_window->getCustomizeButton(Stereo, 0)->click();
    const Clock::time_point afterClick = Clock::now();
    const QVector<PeqHalf> reference = peqSent();
    QVERIFY(!reference.isEmpty());
    const double wireAtClick = reference.first().ms;
    const Clock::time_point clickAt = beforeClick + (afterClick - beforeClick) / 2;
    const auto onWireClock = [&](Clock::time_point t) { return wireAtClick + msBetween(clickAt, t); };
    slider->setValue(0);
    QTRY_VERIFY_WITH_TIMEOUT(m_window->m_tickTimerId == 0, 30000);
    settle();
    RETURN_IF_FAILED();

    // A user who just started dragging: the permission is not there yet.
    shutRateLimiter();
    Clock::time_point firstMove = Clock::now();
    Clock::time_point lastMove;
    const auto pace = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    if (gesture == "drag") {
        // From 0 to +12 in two seconds, the event loop (and so the tick) running meanwhile.
        for (int step = 0; step < 12; ++step) {
            slider->triggerAction(QSlider::SliderSingleStepAdd);
            lastMove = Clock::now();
            pace(170);
        }
        QCOMPARE(slider->value(), 12);
    } else if (gesture == "keys") {
        slider->setFocus();
        for (int press = 0; press < 7; ++press) {
            QTest::keyClick(slider, Qt::Key_Up);
            lastMove = Clock::now();
        }
        QCOMPARE(slider->value(), 7);
    } else {
        slider->triggerAction(QSlider::SliderSingleStepAdd);
        pace(200);
        m_window->ui.pushButton_CustomReset->click();
        lastMove = Clock::now();
        QCOMPARE(sliders(Stereo), std::vector<int>(10, 0));
    }

    // The limiter comes to rest only when nothing is held back any more.
    QTRY_VERIFY_WITH_TIMEOUT(m_window->m_tickTimerId == 0, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(uploadsComplete(), 5000);
    const QVector<PeqHalf> sent = peqSent();
    settle();
    QVector<PeqHalf> lowers;
    QVector<PeqHalf> uppers;
    for (const PeqHalf &half : sent)
        (half.first == 0 ? lowers : uppers) << half;
    QVERIFY(!lowers.isEmpty());
    QVERIFY(!uppers.isEmpty());
    // The last upload carries what the screen shows, in both halves, with A's number.
    QCOMPARE(lowers.last().gains, lowerHalf(sliders(Stereo)));
    QCOMPARE(uppers.last().gains, upperHalf(sliders(Stereo)));
    QCOMPARE(lowers.last().mode, 6);
    QCOMPARE(uppers.last().mode, 6);
    // The limiter's window is 500 ticks of the 1 ms timer; a machine too busy to tick every
    // millisecond stretches it, and the bound with it. Each slider upload ends a window
    // that began at the first held-back move or at the upload before.
    double window = 500;
    double windowStart = onWireClock(firstMove);
    for (const PeqHalf &lower : lowers) {
        window = std::max(window, lower.ms - windowStart);
        windowStart = lower.ms;
    }
    const double late = lowers.last().ms - onWireClock(lastMove);
    qInfo("last values on the headset %.1f ms after the last move; %d uploads; longest window %.1f ms", late,
          int(lowers.size()), window);
    QVERIFY2(late <= std::max(600.0, window + 100),
             qPrintable(QString("the last values reached the headset %1 ms after the last move (window %2 ms)")
                            .arg(late)
                            .arg(window)));

    if (gesture != "reset") {
        // Slider uploads keep their distance. The stamp is taken in the write, a moment
        // after the tick that sent it, so a few ms of slack.
        for (int i = 1; i < lowers.size(); ++i)
            QVERIFY2(lowers[i].ms - lowers[i - 1].ms >= 495,
                     qPrintable(QString("uploads %1 ms apart").arg(lowers[i].ms - lowers[i - 1].ms)));
    }
}

// "R&B" is a name, not "RB" with an accelerator on B: Alt+B applies nothing.
void TuningTest::ampersandNameIsNoAccelerator()
{
    openWindow(&kModel0, "ampersand", [] {
        writeSettingsFile({{&kModel0, {seed("R&B", Stereo, 0), seed("Mode02", Stereo, 1)}, {}}});
    });
    RETURN_IF_FAILED();
    m_window->setTabWidgetIndex(Stereo);
    radio("radioButton_Stereo_Customize")->click();
    m_window->getCustomizeButton(Stereo, 1)->click();
    settle();
    RETURN_IF_FAILED();

    QRadioButton *button = m_window->getCustomizeButton(Stereo, 0);
    QVERIFY(button->isVisible());
    QVERIFY(QKeySequence::mnemonic(button->text()).isEmpty());
    // Drawn as its name: the text with accelerators shown is as wide as "R&B" itself.
    const QFontMetrics metrics(button->font());
    QCOMPARE(metrics.size(Qt::TextShowMnemonic, button->text()).width(), metrics.horizontalAdvance("R&B"));

    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    shutRateLimiter();
    QTest::keyClick(m_window.get(), Qt::Key_B, Qt::AltModifier);
    QVERIFY(!button->isChecked());
    QVERIFY(m_window->getCustomizeButton(Stereo, 1)->isChecked());
    QCOMPARE(peqSent().size(), 0);
    QCOMPARE(rememberedUuid(kModel0), QString("{Mode02-uuid}"));

    // Chosen by the user, it is applied under its literal name.
    button->click();
    QCOMPARE(rememberedUuid(kModel0), QString("{R&B-uuid}"));
    QCOMPARE(sliders(Stereo), customBands(Stereo, 0));
    settle();
}

// ---------------------------------------------------------------------------------------
// Applying a mode without a headset.

void TuningTest::noHeadset_data()
{
    QTest::addColumn<bool>("wasConnected");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("failedWrite");

    // Without a headset no preset data is current, so the click has nothing to apply and
    // uploads the sliders as they are, which the transport refuses.
    QTest::newRow("never connected") << false << QStringList() << QString() << "*Usb Write : fail222";
    // The link has gone while the window still knows the headset: the mode is remembered
    // and locked, the sliders keep their values, and the upload fails in the transport.
    QTest::newRow("link gone under a known headset")
        << true << QStringList{"warning|Please Insert Device!"} << presetUuid(kModel0, Stereo, 1)
        << "*Usb Write : fail111";
}

void TuningTest::noHeadset()
{
    QFETCH(bool, wasConnected);
    QFETCH(QStringList, boxes);
    QFETCH(QString, remembered);
    QFETCH(QString, failedWrite);

    openWindow(wasConnected ? &kModel0 : nullptr, QString("noHeadset ") + QTest::currentDataTag(),
               removeSettingsFile);
    RETURN_IF_FAILED();
    const std::vector<int> before = sliders(Stereo);
    if (wasConnected) {
        // A vanished headset whose link was closed before the window heard of it.
        QVERIFY(command("fail-writes on"));
        deviceOpen = 0;
    }
    const QString logBefore = debugLogText();
    radio("radioButton_Stereo_RockRoll")->click();
    // Both halves are attempted, the upper one 20 ms after the click.
    // A third attempt sometimes follows right after them under a window that has just been
    // built; it fails the same way and changes nothing.
    QTRY_VERIFY_WITH_TIMEOUT(debugLogText().mid(logBefore.size()).count(failedWrite) >= 2, 2000);
    const QString logAfter = debugLogText().mid(logBefore.size());
    if (wasConnected) {
        deviceOpen = 1;
        QVERIFY(command("fail-writes off"));
    }

    QCOMPARE(m_boxes->seen, boxes);
    QCOMPARE(rememberedUuid(kModel0), remembered);
    QCOMPARE(sliders(Stereo), before);
    QVERIFY(!slidersEnabled(Stereo));
    QVERIFY(logAfter.contains("mode Clicked : Stereo RockRoll"));
    QVERIFY(logAfter.contains("send PEQ Param : start"));
    QCOMPARE(peqSent().size(), 0);
    m_key.clear(); // the link state was tampered with: the next test starts afresh
}

// ---------------------------------------------------------------------------------------
// The microphone switch: restored from the preset data on connection, sent on every click.

void TuningTest::micSwitch_data()
{
    QTest::addColumn<QString>("headset"); // empty: none
    QTest::addColumn<bool>("restored");
    QTest::addColumn<QStringList>("requests"); // on connection, then one per click

    QTest::newRow("on in the preset file") << "m0" << true << QStringList{kEncOn, kEncOff, kEncOn};
    QTest::newRow("off in the preset file") << "m0" << false << QStringList{kEncOff, kEncOn, kEncOff};
    QTest::newRow("no headset") << "" << true << QStringList();
}

void TuningTest::micSwitch()
{
    QFETCH(QString, headset);
    QFETCH(bool, restored);
    QFETCH(QStringList, requests);
    const Headset *h = headset.isEmpty() ? nullptr : &headsetById(headset);

    closeWindow();
    RETURN_IF_FAILED();
    removeSettingsFile();
    // The window reads the preset files when it is made.
    writePresetFiles(QCoreApplication::applicationDirPath(), restored);
    const auto defaultPresets = qScopeGuard([] { writePresetFiles(QCoreApplication::applicationDirPath()); });
    QVERIFY(command("unplug"));
    if (h)
        QVERIFY(command(QString("plug %1").arg(h->id)));
    m_emulator->markWire();
    m_window = std::make_unique<ToneTuningTool>();
    m_window->show();
    m_headset = h;
    if (h)
        QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(uploadsComplete(), 5000);
    QCOMPARE(m_window->ui.checkBox_MicENC->isChecked(), restored);
    // The switch requests of the connection: the ENC state, then the algorithm switches
    // of the restore's uploads.
    if (h)
        QCOMPARE(micRequests(switchesSent()).value(0), requests.value(0));

    m_emulator->markWire();
    m_traces->clear();
    const int entriesBefore = debugLogText().count("MicENC Switch");
    QCheckBox *box = m_window->ui.checkBox_MicENC;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QCOMPARE(box->isChecked(), !restored);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QCOMPARE(box->isChecked(), restored);

    QCOMPARE(switchesSent(), requests.mid(1));
    const QString log = debugLogText();
    const QString first = restored ? "MicENC Switch : CLose ENC" : "MicENC Switch : Open ENC";
    const QString second = restored ? "MicENC Switch : Open ENC" : "MicENC Switch : CLose ENC";
    QCOMPARE(log.count("MicENC Switch"), entriesBefore + 2);
    const int firstAt = log.lastIndexOf(first);
    const int secondAt = log.lastIndexOf(second);
    QVERIFY(firstAt >= 0 && secondAt > firstAt);
    // Each entry follows the write it reports on.
    const QString result = h ? "end(0)" : "end(2)";
    QVERIFY(log.lastIndexOf("Usb Hid send Switch : " + result, firstAt) >= 0);
    if (!h)
        QCOMPARE(m_traces->count("[Send - SetSwitch::Device Not Open!]"), 2);

    if (h) {
        // Plugged in again, the headset gets the preset file's state whatever the box shows.
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        QCOMPARE(box->isChecked(), !restored);
        QVERIFY(command("unplug"));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 0, 5000);
        m_emulator->markWire();
        QVERIFY(command(QString("plug %1").arg(h->id)));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 1, 5000);
        QCOMPARE(box->isChecked(), restored);
        QTRY_VERIFY_WITH_TIMEOUT(!micRequests(switchesSent()).isEmpty(), 2000);
        QCOMPARE(micRequests(switchesSent()).first(), requests.value(0));
        settle();
    }
    m_key = "mic";
}

// ---------------------------------------------------------------------------------------

void TuningTest::stringExtractNum_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QPoint>("range");
    QTest::addColumn<int>("number");

    QTest::newRow("digits among letters") << "Mode07" << QPoint(0, 0) << 7;
    QTest::newRow("range end excluded") << "a1b2c3" << QPoint(0, 4) << 12;
    QTest::newRow("range start skips") << "12345" << QPoint(2, 0) << 345;
    QTest::newRow("no digits") << "Mode" << QPoint(0, 0) << 0;
    QTest::newRow("range past the end") << "x9" << QPoint(0, 40) << 9;
    QTest::newRow("range before the start") << "42" << QPoint(-3, 0) << 42;
}

void TuningTest::stringExtractNum()
{
    QFETCH(QString, content);
    QFETCH(QPoint, range);
    QFETCH(int, number);
    if (!m_window) {
        openWindow(nullptr, "plain", removeSettingsFile);
        RETURN_IF_FAILED();
    }
    QCOMPARE(m_window->stringExtractNum(content, range), number);
}

TTT_TEST_MAIN(TuningTest)
#include "test_tuning.moc"
