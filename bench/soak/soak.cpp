// Soak run: the real window on the headset emulator, driven at random for a bounded time
// with hot-plug cycles, preset clicks, custom mode edits and spectrum streaming. Every few
// seconds it samples the heap in use, resident memory, threads and open descriptors at a
// quiet moment; at the end the settings file must parse and hold exactly the custom modes
// the program holds, and every custom mode must have stayed through the run unless it
// was deleted.
//
//   build/soak/ttt_soak [--seconds N] [--seed N]     (10..600 s, default 180)
//
// It runs in a temporary home folder with the offscreen platform, so no user file and
// no display is touched. Exit status 0 when every check holds.

#include "common/asan.h"
#include "common/boxcatcher.h"
#include "common/eventloopprobe.h"
#include "common/headsetemulator.h"
#include "common/testmain.h"

#include "device/MyThread.h"
#include "device/UsbHidOperation.h"
#include "profiles/WriteReadJson.h"
#include "profiles/jsonfiles.h"
#include "window/ToneTuningTool.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include <malloc.h>


namespace
{

// --- Measuring ------------------------------------------------------------------------

// Bytes the program has allocated and not freed: the sanitizer's own count when it is
// there (its quarantine would hide everything in resident memory), else glibc's.
qint64 heapInUse()
{
#ifdef TTT_HAVE_ASAN
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}

qint64 residentBytes()
{
    QFile file("/proc/self/statm");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4096 : -1;
}

int entriesOf(const char *folder)
{
    return int(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

struct Sample {
    double seconds;
    qint64 heap, resident;
    int threads, descriptors;
};

Sample sampleNow(const QElapsedTimer &clock)
{
    return {clock.elapsed() / 1000.0, heapInUse(), residentBytes(), entriesOf("/proc/self/task"),
            entriesOf("/proc/self/fd")};
}

// --- Waiting --------------------------------------------------------------------------

template <typename Predicate> bool runUntil(Predicate done, int deadlineMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > deadlineMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void runFor(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// --- What the program holds -------------------------------------------------------------

// Every custom mode of every headset, by uuid: "headset identity|name|bands".
std::map<QString, QString> customModesInMemory(const WriteReadJson &store)
{
    std::map<QString, QString> modes;
    for (const DeviceData *device : store.customizeDevices)
        for (const auto *byName : {&device->stereoModes, &device->surroundModes})
            for (const auto &[name, mode] : *byName) {
                QStringList bands;
                for (int band : mode->parameter)
                    bands << QString::number(band);
                modes[mode->uuid] = device->deviceUuid + "|" + name + "|" + bands.join(',');
            }
    return modes;
}

std::map<QString, QString> customModesInFile(const QString &path, bool &parsed)
{
    std::map<QString, QString> modes;
    const std::unique_ptr<QJsonDocument> document(readJsonFile(path));
    parsed = document && document->isObject();
    if (!parsed)
        return modes;
    for (const QJsonValue &device : document->object().value("customizeMode").toArray()) {
        const QString identity = device.toObject().value("deviceUuid").toString();
        for (const QJsonValue &value : device.toObject().value("modes").toArray()) {
            const QJsonObject mode = value.toObject();
            QStringList bands;
            for (const QJsonValue &band : mode.value("parameter").toArray())
                bands << QString::number(band.toInt());
            modes[mode.value("uuid").toString()] =
                identity + "|" + mode.value("name").toString() + "|" + bands.join(',');
        }
    }
    return modes;
}

// --- The run ----------------------------------------------------------------------------

class Soak
{
  public:
    Soak(HeadsetEmulator &emulator, ToneTuningTool &window, quint32 seed)
        : m_emulator(emulator), m_window(window), m_random(seed)
    {
    }

    bool start()
    {
        m_window.show();
        return runUntil([this] { return m_window.m_deviceView == 1 && !m_window.m_uuidText.isEmpty(); },
                        20000);
    }

    // One random action, finished before it returns. Its longest block of the GUI thread
    // is filed under its kind.
    void step(EventLoopProbe &probe)
    {
        const auto before = customModesInMemory(*m_window.m_writeReadJson);
        QString deleted;
        const char *kind;
        const int pick = int(m_random.bounded(100));
        probe.reset();
        if (pick < 6) {
            kind = "hot-plug cycle";
            hotplugCycle();
        } else if (pick < 36) {
            kind = "preset click";
            clickPreset();
        } else if (pick < 46) {
            kind = "tab switch";
            switchTab();
        } else if (pick < 52) {
            kind = "spectrum rate change";
            changeSpectrumRate();
        } else {
            kind = "custom mode edit";
            deleted = editCustomMode();
        }
        // Let the upload halves, acknowledgements and spectrum frames of the action come in.
        runFor(int(m_random.bounded(20, 120)));
        double &longest = longestBlockMs[kind];
        longest = std::max(longest, probe.longestBlockMs());
        checkNoModeLost(before, deleted);
    }

    std::map<QString, double> longestBlockMs;

    int actions = 0;
    int hotplugs = 0, presetClicks = 0, tabSwitches = 0, rateChanges = 0;
    int adds = 0, deletes = 0, saves = 0, sliderMoves = 0, customSelects = 0;
    QStringList failures;

  private:
    QString randomCommandRate() { return QString::number(m_random.bounded(30, 1001)); }

    void hotplugCycle()
    {
        ++hotplugs;
        m_emulator.command("unplug");
        if (!runUntil([this] { return m_window.m_deviceView == 0; }, 10000))
            failures << "the no-headset view did not come after an unplug";
        runFor(int(m_random.bounded(0, 300)));
        // Now and then another headset of the model comes back: its own custom modes.
        if (m_random.bounded(3) == 0) {
            static const char *const identities[] = {"001ab2ff", "0badf00d", "5eed5eed"};
            m_emulator.command(QString("identity ") + identities[m_random.bounded(3)]);
        }
        m_emulator.command("plug");
        if (!runUntil([this] { return m_window.m_deviceView == 1 && !m_window.m_uuidText.isEmpty(); }, 20000))
            failures << "the headset was not back in the headset view after a plug";
    }

    int soundTab()
    {
        const int tab = m_window.ui.tabWidget->currentIndex();
        return tab == Stereo || tab == Surround ? tab : -1;
    }

    void clickPreset()
    {
        ++presetClicks;
        Ui_ToneTuningToolClass &ui = m_window.ui;
        const std::vector<QRadioButton *> stereo = {
            ui.radioButton_Stereo_Pop,  ui.radioButton_Stereo_RockRoll, ui.radioButton_Stereo_DeepBass,
            ui.radioButton_Stereo_Jazz, ui.radioButton_Stereo_Classic,  ui.radioButton_Stereo_TavoStandard};
        const std::vector<QRadioButton *> surround = {
            ui.radioButton_Surround_DeepBass, ui.radioButton_Surround_FPS, ui.radioButton_Surround_Moba,
            ui.radioButton_Surround_TavoStandard};
        const auto &buttons = soundTab() == Surround ? surround : stereo;
        buttons[m_random.bounded(int(buttons.size()))]->click();
    }

    void switchTab()
    {
        ++tabSwitches;
        m_window.ui.tabWidget->setCurrentIndex(int(m_random.bounded(3)));
    }

    void changeSpectrumRate()
    {
        ++rateChanges;
        m_emulator.command("spectrum rate " + randomCommandRate());
    }

    // Adds, selects, moves a slider of, renames and saves, or deletes a custom mode of
    // the current sound tab. Returns the uuid of a mode it deleted.
    QString editCustomMode()
    {
        const int type = soundTab();
        if (type < 0) {
            m_window.ui.tabWidget->setCurrentIndex(int(m_random.bounded(2)));
            return {};
        }
        Ui_ToneTuningToolClass &ui = m_window.ui;
        QRadioButton *customize =
            type == Stereo ? ui.radioButton_Stereo_Customize : ui.radioButton_Surround_Customize;
        if (!customize->isChecked()) {
            customize->click();
            return {};
        }
        const auto modes = m_window.m_writeReadJson->getCustomizeModes(type);
        const int choice = int(m_random.bounded(100));
        if (choice < 20 || modes.empty()) {
            ++adds;
            (type == Stereo ? ui.pushButton_Stereo_CustomAdd : ui.pushButton_Surround_CustomAdd)->click();
        } else if (choice < 40) {
            ++customSelects;
            std::vector<QRadioButton *> visible;
            for (int position = 0; position < 5; ++position)
                if (QRadioButton *button = m_window.getCustomizeButton(ModeType(type), position);
                    button && !button->isHidden())
                    visible.push_back(button);
            if (!visible.empty())
                visible[m_random.bounded(int(visible.size()))]->click();
        } else if (choice < 70) {
            ++sliderMoves;
            if (QSlider *slider = m_window.getBandSlider(ModeType(type), int(m_random.bounded(10)));
                slider && slider->isEnabled())
                slider->setValue(int(m_random.bounded(-12, 13)));
        } else if (choice < 90) {
            ++saves;
            ui.lineEdit_CustomName->setText(QString("Soak%1").arg(++m_names));
            ui.pushButton_CustomSave->click();
        } else {
            const ModeData *current = m_window.m_writeReadJson->getCurrentMode();
            const QString uuid = current && current->customizeType == 1 ? current->uuid : QString();
            ++deletes;
            (type == Stereo ? ui.pushButton_Stereo_CustomClear : ui.pushButton_Surround_CustomClear)->click();
            return uuid;
        }
        return {};
    }

    // A custom mode leaves memory only through its own deletion.
    void checkNoModeLost(const std::map<QString, QString> &before, const QString &deleted)
    {
        const auto after = customModesInMemory(*m_window.m_writeReadJson);
        for (const auto &[uuid, mode] : before)
            if (!after.count(uuid) && uuid != deleted)
                failures << "custom mode lost: " + mode;
    }

    HeadsetEmulator &m_emulator;
    ToneTuningTool &m_window;
    QRandomGenerator m_random;
    int m_names = 0;
};

void dropTraces(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// The names of the threads, for a report when their number changes.
QString threadNames()
{
    QStringList names;
    for (const QString &task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm("/proc/self/task/" + task + "/comm");
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll()).trimmed();
    }
    names.sort();
    return names.join(", ");
}

// Flat: the last third of the samples goes no higher than the first third did (after
// the first sample, taken before anything ran) plus a margin. Fewer is fine: Qt's
// thread pool lets idle threads go after 30 s.
template <typename Field>
bool flat(const std::vector<Sample> &samples, Field Sample::*field, qint64 margin, QString &why)
{
    const size_t n = samples.size();
    if (n < 6)
        return true;
    const size_t third = n / 3;
    qint64 early = 0, late = 0;
    for (size_t i = 1; i <= third; ++i)
        early = std::max<qint64>(early, samples[i].*field);
    for (size_t i = n - third; i < n; ++i)
        late = std::max<qint64>(late, samples[i].*field);
    if (late <= early + margin)
        return true;
    why = QString("grew from %1 to %2").arg(early).arg(late);
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    ttt_test::redirectUserFolders(home.path());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int seconds = 180;
    quint32 seed = QRandomGenerator::global()->generate();
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--seconds")
            seconds = std::clamp(args[i + 1].toInt(), 10, 600);
        else if (args[i] == "--seed")
            seed = args[i + 1].toUInt();
    }
    qInstallMessageHandler(dropTraces);
    std::printf("soak: %d s, seed %u, heap counted by %s\n", seconds, seed,
#ifdef TTT_HAVE_ASAN
                "AddressSanitizer"
#else
                "glibc"
#endif
    );

    HeadsetEmulator emulator;
    // Hours of spectrum frames would fill the disk with the wire log.
    qunsetenv("HEADSET_EMULATOR_WIRE_LOG");
    emulator.reload();

    // A box (a repeated name, a surround refusal) is answered as a user would.
    BoxCatcher boxes;

    auto window = std::make_unique<ToneTuningTool>();
    Soak soak(emulator, *window, seed);
    if (!soak.start()) {
        std::printf("FAILED: the headset never reached the headset view\n");
        return 1;
    }
    EventLoopProbe probe;
    std::printf("threads at the start: %s\n", qPrintable(threadNames()));
    QElapsedTimer clock;
    clock.start();
    std::vector<Sample> samples{sampleNow(clock)};
    const int sampleEveryMs = std::max(2000, seconds * 1000 / 40);
    qint64 nextSample = sampleEveryMs;
    while (clock.elapsed() < qint64(seconds) * 1000) {
        soak.step(probe);
        ++soak.actions;
        if (clock.elapsed() >= nextSample) {
            // A quiet moment: the threads and descriptors of passing work are gone.
            runUntil([&] { return window->m_deviceView == 1; }, 5000);
            samples.push_back(sampleNow(clock));
            if (samples.back().threads != samples[samples.size() - 2].threads)
                std::printf("%.1f s: threads now %s\n", samples.back().seconds, qPrintable(threadNames()));
            nextSample += sampleEveryMs;
        }
    }

    const QString settings = window->m_writeReadJson->getConfigPath();
    const auto inMemory = customModesInMemory(*window->m_writeReadJson);
    bool parsed = false;
    const auto inFile = customModesInFile(settings, parsed);

    std::printf("\n%8s %12s %12s %8s %6s\n", "time s", "heap KiB", "resident KiB", "threads", "fds");
    for (const Sample &s : samples)
        std::printf("%8.1f %12lld %12lld %8d %6d\n", s.seconds, s.heap / 1024, s.resident / 1024, s.threads,
                    s.descriptors);
    std::printf(
        "\nactions %d: hot-plug cycles %d, preset clicks %d, tab switches %d, spectrum rate changes %d,\n"
        "custom adds %d, selects %d, slider moves %d, saves %d, deletes %d; boxes answered %d\n",
        soak.actions, soak.hotplugs, soak.presetClicks, soak.tabSwitches, soak.rateChanges, soak.adds,
        soak.customSelects, soak.sliderMoves, soak.saves, soak.deletes, int(boxes.seen.size()));
    std::printf("custom modes at the end: %zu in memory, %zu in the settings file\n", inMemory.size(),
                inFile.size());
    std::printf("longest GUI-thread block per kind of action:");
    for (const auto &[kind, ms] : soak.longestBlockMs)
        std::printf(" %s %.1f ms;", qPrintable(kind), ms);
    std::printf("\n");

    QStringList failures = soak.failures;
    if (!parsed)
        failures << "the settings file does not parse";
    else if (inFile != inMemory)
        failures << "the settings file does not hold the custom modes the program holds";
    QString why;
    // Heap: 2 MiB or 10 % of the early figure, whichever is larger.
    const qint64 heapMargin = std::max<qint64>(2 << 20, samples.size() > 1 ? samples[1].heap / 10 : 0);
    if (!flat(samples, &Sample::heap, heapMargin, why))
        failures << "heap in use " + why;
    if (!flat(samples, &Sample::threads, 0, why))
        failures << "threads " + why;
    if (!flat(samples, &Sample::descriptors, 0, why))
        failures << "file descriptors " + why;
    for (const QString &failure : failures)
        std::printf("FAILED: %s\n", qPrintable(failure));
    if (failures.isEmpty())
        std::printf("passed\n");

    window.reset();
    usbHidCloseDevice(nullptr);
    return failures.isEmpty() ? 0 : 1;
}
