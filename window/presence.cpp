// Following the headset's presence: device notifications, opening the headset, the
// no-headset and headset views, and the refresh after a headset has been identified.
#include "window/ToneTuningTool.h"

#include "device/MyThread.h"
#include "device/MyThread_Two.h"
#include "device/UsbHidOperation.h"
#include "device/hidlibrary.h"
#include "device/hotplug.h"
#include "diagnostics/debuglog.h"
#include "profiles/WriteReadJson.h"

#include <QCheckBox>
#include <QDebug>
#include <QMenu>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace {

const QString kModule = QStringLiteral("ToneTuningTool");

// The log has always named the notification handler; support reads it by that name.
const QString kNotificationHandler = QStringLiteral("nativeEvent");

struct HeadsetModel {
    unsigned short productId;
    int model;
    const char *picture; // style sheet of label_Spectrum
};
const HeadsetModel kHeadsetModels[] = {
    {0x1054, 1, "border-image: url(:/headset/pic/headset/HeadsetA.png);"},
    {0x1029, 2, "border-image: url(:/headset/pic/headset/HeadsetB.png);"},
    {0x104D, 3, "border-image: url(:/headset/pic/headset/HeadsetC.png);"},
};

const HeadsetModel *modelOf(unsigned short pid)
{
    for (const HeadsetModel &model : kHeadsetModels)
        if (model.productId == pid)
            return &model;
    return nullptr;
}

const int kWatchdogIntervalMs = 60000;
const int kHeadsetViewDelayMs = 500;
const int kNewHeadsetPauseMs = 50;

} // namespace

void ToneTuningTool::registerDevice()
{
    qDebug() << "***** Register Device! *****";
    // One registration for the one interface class (HID); storage volumes come with it.
    m_hotplug = createHotplugSource(hidLibrary());
    if (!m_hotplug) {
        qDebug() << "Register Fail!";
        writeDebugLog("Register Device", "false", kModule, "registerDevice", __LINE__);
        return;
    }
    connect(m_hotplug.get(), &HotplugSource::hidArrived, this, &ToneTuningTool::hidInterfaceArrived);
    connect(m_hotplug.get(), &HotplugSource::hidRemoved, this, &ToneTuningTool::hidInterfaceRemoved);
    connect(m_hotplug.get(), &HotplugSource::storageArrived, this, &ToneTuningTool::storageVolumeArrived);
    connect(m_hotplug.get(), &HotplugSource::storageRemoved, this, &ToneTuningTool::storageVolumeRemoved);
    qDebug() << "Register SuccessFul!";
    writeDebugLog("Register Device", "true", kModule, "registerDevice", __LINE__);
}

bool ToneTuningTool::nativeEvent(const QByteArray & /*eventType*/, void * /*message*/, long * /*result*/)
{
    // Device notifications reach the window through its hot-plug source, not as native
    // window messages; Qt's own processing always goes on.
    return false;
}

void ToneTuningTool::storageVolumeArrived(const QString & /*name*/)
{
    qDebug() << "插入U盘";
    writeDebugLog("Insert Device U disk", "true", kModule, kNotificationHandler, __LINE__);
}

void ToneTuningTool::storageVolumeRemoved(const QString & /*name*/)
{
    qDebug() << "移除U盘";
}

void ToneTuningTool::hidInterfaceArrived(const HotplugDevice &device)
{
    // Any arrival while a headset is open is ignored, so a headset announcing several
    // interfaces is opened once.
    if (vendorId != 0 || productId != 0)
        return;
    qDebug() << "------------------------------";
    qDebug() << "插入设备(name):" << device.path;
    qDebug() << "插入设备(size):" << device.path.toLocal8Bit().size();
    writeDebugLog("DeviceInsert", "true", kModule, kNotificationHandler, __LINE__);
    InitDeviceInput();
}

void ToneTuningTool::hidInterfaceRemoved(const HotplugDevice &device)
{
    qDebug() << "------------------------------";
    qDebug() << "移除设备(name)：" << device.path;
    qDebug() << "移除设备(size)：" << device.path.toLocal8Bit().size();
    writeDebugLog("DeviceRemove", "true", kModule, kNotificationHandler, __LINE__);

    qDebug() << device.path;
    if (device.path.isEmpty() || device.path.contains("USBSTOR"))
        return;
    // The source hands over the ids itself; there is no interface path to take them from.
    qDebug() << QString::number(device.vendorId, 16) << QString::number(device.productId, 16);
    if (device.vendorId != vendorId || device.productId != productId)
        return;

    if (hidDevice.load() != nullptr && deviceOpen == 1) {
        qDebug() << "Close Thread!";
        closeHeadset();
        setDeviceView(1);
        ui.tabWidget->setTabEnabled(0, true);
        ui.tabWidget->setTabEnabled(1, true);
        m_headsetModel = 0;
        ui.label_Spectrum->setStyleSheet("");
        ui.widget_Spectrum->hide();
        ui.pushButton_CustomReset->click();
    }

    vendorId = 0;
    productId = 0;
    surroundSupported = 0;
    m_uuidText.clear();
    m_writeReadJson->clearCurrentDevice();
    setCustomizeVisible(false, Stereo);
    setCustomizeVisible(false, Surround);
    InitDeviceInput();
    m_writeReadJson->setCurrentMode(nullptr);
}

void ToneTuningTool::closeHeadset()
{
    // A headset view switch still pending belongs to the connection that is going away.
    ++m_connection;
    usbHidCloseDevice(m_recvThread);
    if (m_watchdogTimerId != 0) {
        killTimer(m_watchdogTimerId);
        m_watchdogTimerId = 0;
    }
    // Its run has ended; nothing else holds it.
    delete m_recvThread;
    m_recvThread = nullptr;
}

int ToneTuningTool::InitDeviceInput()
{
    const int r = usbHidOpenDevice(m_writeReadJson->presetDevices);
    if (r == -1) {
        writeDebugLog("OpenDevice", "false", kModule, "InitDeviceInput", __LINE__);
        armOpenRetry();
        return -1;
    }
    if (r == -2) {
        writeDebugLog("OpenDevice", "noDevice", kModule, "InitDeviceInput", __LINE__);
        armOpenRetry();
        return -2;
    }
    if (r != 0)
        return 0;

    writeDebugLog("OpenDevice", "true", kModule, "InitDeviceInput", __LINE__);
    const HeadsetModel *model = modelOf(productId);
    m_headsetModel = model ? model->model : 0;

    // An open while one is running reuses the handle; its reader must not be doubled.
    if (m_recvThread) {
        m_recvThread->runFlag = 0;
        m_recvThread->wait();
        delete m_recvThread;
    }
    m_recvThread = new MyThread;
    m_recvThread->runFlag = 1;
    m_recvThread->start(QThread::InheritPriority);
    qDebug() << "***** Start Connect One! *****";
    connect(m_recvThread, &MyThread::sendReadAudio, this, &ToneTuningTool::on_SLOTReadAudio, Qt::QueuedConnection);

    usbHidSend_ReadAudio(0);
    usbHidSend_ReadStatus(0);

    const int connection = ++m_connection;
    QTimer::singleShot(kHeadsetViewDelayMs, this, [this, connection] {
        // Unplugged within the delay: the no-headset view stays.
        if (connection == m_connection)
            setDeviceView(2);
    });
    qDebug() << "Create Thread!";

    if (m_watchdogTimerId != 0)
        killTimer(m_watchdogTimerId);
    m_watchdogTimerId = startTimer(kWatchdogIntervalMs, Qt::CoarseTimer);

    if (model) {
        ui.label_Spectrum->show();
        ui.widget_Spectrum->hide();
        ui.label_Spectrum->setStyleSheet(model->picture);
    }

    // Each connection gets a fresh timing thread; the previous one is ended, not left idle.
    // A speaker test that was running across the re-plug carries on where it was: its
    // recording and animations are still going and wait for the remaining channels.
    auto *timing = new MyThread_Two;
    if (m_timingThread) {
        m_timingThread->stop();
        timing->tickCount = m_timingThread->tickCount.load();
        timing->pauseFlag = m_timingThread->pauseFlag.load();
        timing->startFlag = int(m_timingThread->startFlag);
        delete m_timingThread;
    }
    m_timingThread = timing;
    m_timingThread->start(QThread::InheritPriority);
    qDebug() << "***** Start Connect Two! *****";
    connect(m_timingThread, &MyThread_Two::sendSetMicTimer, this, &ToneTuningTool::on_SLOTSetMicTimer_LabelUI);
    return 0;
}

void ToneTuningTool::armOpenRetry()
{
    // Hot-plug events can be missed (no udevd, an open refused until the access rules
    // have been applied), so while no headset is open the open is tried once a minute.
    if (m_watchdogTimerId == 0)
        m_watchdogTimerId = startTimer(kWatchdogIntervalMs, Qt::CoarseTimer);
}

void ToneTuningTool::watchdogTick()
{
    if (deviceOpen == 0)
        InitDeviceInput();
}

void ToneTuningTool::setDeviceView(int view)
{
    if (view == 1) {
        m_deviceView = 0;
        ui.label_DefaultBackground->raise();
        ui.label_DefaultBackground->show();
        ui.label_DefaultHead->show();
        ui.label_BottomBar->raise();
        ui.label_Head->hide();
        ui.label->hide();
    } else if (view == 2) {
        m_deviceView = 1;
        ui.label_DefaultBackground->lower();
        ui.label_BottomBar->raise();
        ui.pushButton_Minimize_Btn->raise();
        ui.label_Head->show();
        ui.label->show();
        changedDevice32();
        if (const DeviceData *preset = m_writeReadJson->getPresetDevice())
            ui.checkBox_MicENC->setChecked(preset->micENC);
        on_CheckBox_MicENC_Clicked();
        spectrumOnHeadsetView();
    }
}

void ToneTuningTool::changedDevice32()
{
    m_writeReadJson->setCurrentDevice(productId, m_uuidText);
    setCustomizeButtonText();
    loadUserInformation();

    const auto identity = deviceIdBytes.load();
    if (identity == m_lastUuid)
        return;
    if (isHidden()) {
        show();
        m_trayIcon->show();
        // A fresh menu, as at set-up; the old one and its entries go.
        QMenu *oldMenu = m_trayMenu;
        QAction *oldShow = m_showAction;
        QAction *oldQuit = m_quitAction;
        createTrayMenu();
        delete oldMenu;
        delete oldShow;
        delete oldQuit;
    }
    qDebug() << "***** Device Change! *****";
    m_lastUuid = identity;
    initFilePath();
    QThread::msleep(kNewHeadsetPauseMs);
}

void ToneTuningTool::stopWorkerThreads()
{
    // Both loops leave within one read time-out; joined, they touch nothing afterwards.
    if (m_recvThread) {
        m_recvThread->runFlag = 0;
        m_recvThread->wait();
    }
    if (m_timingThread)
        m_timingThread->stop();
}
