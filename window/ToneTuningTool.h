#pragma once

// The program's only window. Its implementation is split by concern:
//   shell.cpp        construction, tray, dragging, hover cursor, close/minimise, exit, timers
//   presence.cpp     device notifications, opening the headset, the two views, device refresh
//   modes.cpp        preset radio buttons, tabs, button groups, applying a mode
//   custommodes.cpp  custom modes: add, delete, save, reset, restore per headset
//   sliders.cpp      band sliders and the equaliser upload
//   plots.cpp        the plot panels behind the sliders
//   mic.cpp          microphone noise-cancellation switch
//   speakertest.cpp  7.1 speaker test
//   spectrum.cpp     live spectrum display and the receive thread's reply codes

#include "profiles/records.h"
#include "window/slidertick.h"
#include "window/spectrumanimation.h"
#include "ui_ToneTuningTool.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMutex>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>

#include <array>
#include <memory>
#include <vector>

class HotplugSource;
struct HotplugDevice;
class MyThread;
class MyThread_Two;
class WindowPictures;
class WriteReadJson;
class QAction;
class QButtonGroup;
class QCloseEvent;
class QEvent;
class QMediaPlayer;
class QMenu;
class QMouseEvent;
class QMovie;
class QRadioButton;
class QSlider;
class QTimerEvent;

class ToneTuningTool : public QMainWindow
{
    Q_OBJECT

  public:
    explicit ToneTuningTool(QWidget *parent = nullptr);
    ~ToneTuningTool() override;

    // Window operations that are not slots.
    void registerDevice();
    void initFilePath();
    QRadioButton *getCustomizeButton(ModeType type, int index);
    void setCustomizeButtonText();
    QSlider *getBandSlider(ModeType type, int band);
    void abandonSpeakerTest();
    void spectrumNewFrame();
    QByteArray spectrumNextFrame();
    void drawSpectrum(const QByteArray &frame);
    // Codes 99 (new frame) and 999 (animation step) of on_SLOTReadAudio.
    void onSpectrumSignal(int iCmdType);
    // Sets spectrumEnabled and tells the headset to stream (1) or stop (0).
    void switchSpectrumStream(int on);
    // The stereo tab's right-hand panel: the spectrum plot for model 0, else the
    // headset's picture; either only while a headset is open.
    void showSpectrumPanel();
    // For the headset view coming up: panel and stream as the stereo tab sets them, if
    // the stereo tab is current.
    void spectrumOnHeadsetView();

  public slots:
    // Connected by the form.
    void on_RadioButton_Stereo_Pop_Clicked();
    void on_RadioButton_Stereo_RockRoll_Clicked();
    void on_RadioButton_Stereo_DeepBass_Clicked();
    void on_RadioButton_Stereo_Jazz_Clicked();
    void on_RadioButton_Stereo_Classic_Clicked();
    void on_RadioButton_Stereo_TavoStandard_Clicked();
    void on_RadioButton_Stereo_Customize_Clicked();
    void on_RadioButton_Stereo_CustomOne_Clicked();
    void on_RadioButton_Stereo_CustomTwo_Clicked();
    void on_RadioButton_Stereo_CustomThree_Clicked();
    void on_RadioButton_Stereo_CustomFour_Clicked();
    void on_RadioButton_Stereo_CustomFive_Clicked();
    void on_RadioButton_Surround_DeepBass_Clicked();
    void on_RadioButton_Surround_FPS_Clicked();
    void on_RadioButton_Surround_Moba_Clicked();
    void on_RadioButton_Surround_TavoStandard_Clicked();
    void on_RadioButton_Surround_Customize_Clicked();
    void on_RadioButton_Surround_CustomOne_Clicked();
    void on_RadioButton_Surround_CustomTwo_Clicked();
    void on_RadioButton_Surround_CustomThree_Clicked();
    void on_RadioButton_Surround_CustomFour_Clicked();
    void on_RadioButton_Surround_CustomFive_Clicked();
    void on_VerticalSlider_Stereo_ValueChange();
    void on_VerticalSlider_Surround_ValueChange();
    void on_TabWidget_Clicked(int index);
    void on_CheckBox_MicENC_Clicked();
    void on_PushButton_CustomSave_Clicked();
    void on_PushButton_CustomReset_Clicked();
    void on_PushButton_Stereo_CustomAdd_Clicked();
    void on_PushButton_Stereo_CustomClear_Clicked();
    void on_PushButton_Surround_CustomAdd_Clicked();
    void on_PushButton_Surround_CustomClear_Clicked();
    void on_PushButton_PlayTest_Clicked();
    void on_PushButton_Horn_LeftUp_Clicked();
    void on_PushButton_DefaultClose_Clicked();
    void on_PushButton_Minimize_Clicked();

    // Shell and tray.
    void on_activatedSysTrayIcon(QSystemTrayIcon::ActivationReason reason);
    void on_ShowMainAction();
    void on_ExitAppAction();
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

    // Device presence.
    void changedDevice32();
    int InitDeviceInput();
    void setDeviceView(int view);

    // Replies signalled by the receive thread.
    void on_SLOTReadAudio(int iCmdType);

    // Mode selection and tabs.
    void soundBtnEvent(ModeData *data);
    void setTabWidgetIndex(int index);
    void initButtonGroup();

    // Custom modes.
    void setCustomizeEditVisible(bool enabled);
    void setCustomizeAddAndDeleteVisible(bool enabled, ModeType type);
    void setCustomizeGroupBoxVisible(bool enabled, ModeType type);
    void setCustomizeVisible(bool enabled, ModeType type);
    void onCustomizeClicked(ModeType type);
    bool customizeModeClicked(ModeType type, int index);
    void addCustomizeMode(ModeType type);
    void deleteCustomizeMode(ModeType type);
    QString customizeName(ModeType type);
    void loadUserInformation();
    int stringExtractNum(QString content, QPoint range);

    // Band sliders and the equaliser upload.
    void setSliderValue(std::vector<int> datas, ModeType type);
    std::vector<int> getSliderValue(ModeType type);
    void resetSliderValue(ModeType type);
    void setSliderEnable(bool enabled, ModeType type);
    void sendPEQParameter(int soundCode, int modeNumber);
    // When the limiter's window ends: the slider change it held back, unless the headset
    // already plays those values.
    void sendHeldBackSliderChange();
    // Uploads the type's sliders with `modeNumber`, unless that is exactly the last upload.
    void sendSliderValuesOnce(ModeType type, int modeNumber);
    // The number a slider upload of the type carries: its checked custom position, else the first.
    int sliderModeNumber(ModeType type);
    void connectSliderSignal();
    void on_SLOTSetSliderValue(int value);

    // Plot panels.
    void initCustomPlot();
    void myCustomPlotMousePressEvent(QMouseEvent *event);
    void myCustomPlotMouseReleaseEvent(QMouseEvent *event);
    void myCustomPlotMouseMoveEvent(QMouseEvent *event);

    // Speaker test.
    void on_SLOTSetMicTimer_LabelUI(int index);

  protected:
    bool event(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;

  private:
    // Shell.
    void initSystemTray();
    void createTrayMenu();
    void stopWorkerThreads();
    void shrinkBackingStore();
    // Device presence.
    void hidInterfaceArrived(const HotplugDevice &device);
    void hidInterfaceRemoved(const HotplugDevice &device);
    void storageVolumeArrived(const QString &name);
    void storageVolumeRemoved(const QString &name);
    void closeHeadset();
    void armOpenRetry();
    void watchdogTick();

    int m_connection = 0; // counts opens and closes; a pending view switch checks it

    bool m_exiting = false; // "quit" chosen: close() hides even without a tray

  public:
    Ui_ToneTuningToolClass ui;
    QString m_uuidText;
    WriteReadJson *m_writeReadJson = nullptr;
    QMutex m_sliderMutex;
    MyThread *m_recvThread = nullptr;
    MyThread_Two *m_timingThread = nullptr;
    QMediaPlayer *m_player = nullptr;
    int m_watchdogTimerId = 0; // 0: no timer
    int m_tickTimerId = 0;     // 0: no timer
    int m_sliderTicks = 0;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    QAction *m_showAction = nullptr;
    QAction *m_quitAction = nullptr;
    QPoint m_dragPos{0, 0};
    bool m_dragging = false;
    QButtonGroup *m_stereoPresetGroup = nullptr;
    QButtonGroup *m_stereoCustomGroup = nullptr;
    QButtonGroup *m_surroundPresetGroup = nullptr;
    QButtonGroup *m_surroundCustomGroup = nullptr;
    std::array<unsigned char, 4> m_lastUuid{};
    QString m_defaultFilePath;
    QString m_userFilePath;
    QString m_appDirPath = QCoreApplication::applicationDirPath();
    QMovie *m_personMovie = nullptr;
    std::array<QMovie *, 7> m_hornMovies{}; // one per speaker channel 1..7
    int m_deviceView = 0;                   // 0 no-headset view, 1 headset view
    int m_soundMode = 2;                    // 2 surround tab, 1 stereo tab, 3 microphone tab
    bool m_testPlaying = false;
    int m_testChannel = 0;
    int m_testClicks = 0;
    SliderMovingFlag m_sliderMoving; // an int to its users; starts the tick when raised
    int m_peqSendAllowed = 0;
    std::array<bool, 2> m_sliderChangeHeldBack{}; // by ModeType: a change the limiter has not sent
    int m_headsetModel = 0;
    WindowPictures *m_pictures = nullptr;     // decodes the large pictures only while they can be seen
    std::unique_ptr<HotplugSource> m_hotplug; // where device arrivals and removals come from
    SpectrumAnimation m_spectrumAnimation;
};
