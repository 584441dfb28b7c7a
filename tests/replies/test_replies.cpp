// What the window does with the reply codes 20, 21 and 32 of the receive thread.

#include "common/headsetemulator.h"
#include "common/testmain.h"

#include "device/UsbHidOperation.h"
#include "diagnostics/debuglog.h"
#include "window/ToneTuningTool.h"

#include <QSignalBlocker>

class RepliesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeadsetEmulator> m_emulator;
    std::unique_ptr<ToneTuningTool> m_window;
    DeviceData m_preset;

  private slots:
    void initTestCase()
    {
        m_emulator = std::make_unique<HeadsetEmulator>();
        m_window = std::make_unique<ToneTuningTool>();
        initDebugLog();
        m_preset.vid = "3508";
        // Whether or not the window opened the headset itself, this leaves it open.
        QCOMPARE(usbHidOpenDevice({{0x4151, &m_preset}}), 0);
    }

    void upperHalfAcknowledged_data()
    {
        QTest::addColumn<int>("soundMode");
        QTest::addColumn<int>("headsetModel");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QByteArray>("switchPayload"); // empty: nothing sent
        QTest::addColumn<bool>("acknowledgementCleared");

        QTest::newRow("surround tab") << 2 << 0 << 5 << 9 << QByteArray::fromHex("010001000000") << true;
        QTest::newRow("surround tab, headset model 1")
            << 2 << 1 << 5 << 9 << QByteArray::fromHex("010000000001") << true;
        QTest::newRow("stereo tab") << 1 << 0 << 5 << 9 << QByteArray::fromHex("010000000001") << true;
        QTest::newRow("stereo tab, headset model 1")
            << 1 << 1 << 5 << 9 << QByteArray::fromHex("010000000001") << true;
        QTest::newRow("microphone tab") << 3 << 0 << 5 << 9 << QByteArray() << true;
        QTest::newRow("lower half acknowledged") << 2 << 0 << 0 << 4 << QByteArray() << false;
        QTest::newRow("bands 5 to 8") << 1 << 0 << 5 << 8 << QByteArray() << false;
    }

    void upperHalfAcknowledged()
    {
        QFETCH(int, soundMode);
        QFETCH(int, headsetModel);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QByteArray, switchPayload);
        QFETCH(bool, acknowledgementCleared);
        m_window->m_soundMode = soundMode;
        m_window->m_headsetModel = headsetModel;
        peqAckFirstBand = first;
        peqAckLastBand = last;
        m_emulator->markWire();

        m_window->on_SLOTReadAudio(ReplySetPEQ);

        const QList<QByteArray> sent = m_emulator->sentSince();
        if (switchPayload.isEmpty()) {
            QVERIFY(sent.isEmpty());
        } else {
            QCOMPARE(sent.size(), 1);
            QCOMPARE(sent[0].left(6).toHex(), QByteArray("4f3080183106"));
            QCOMPARE(sent[0].mid(6, 6).toHex(), switchPayload.toHex());
        }
        QCOMPARE(peqAckFirstBand.load(), acknowledgementCleared ? 0 : first);
        QCOMPARE(peqAckLastBand.load(), acknowledgementCleared ? 0 : last);
    }

    void identityBecomesText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("lower case, zero-padded") << QByteArray::fromHex("01020aff") << "01020aff";
        QTest::newRow("all zero") << QByteArray(4, '\0') << "00000000";
    }

    void identityBecomesText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        deviceIdBytes.store(reinterpret_cast<const unsigned char *>(bytes.constData()));
        m_window->on_SLOTReadAudio(ReplyReadStatus);
        QCOMPARE(m_window->m_uuidText, text);
    }

    void headsetWithoutSurround_data()
    {
        QTest::addColumn<int>("surround");
        QTest::addColumn<int>("headsetModel");
        QTest::addColumn<int>("tab");
        QTest::newRow("no 7.1: stereo tab") << 0 << 0 << 1;
        QTest::newRow("no 7.1 but headset model 1") << 0 << 1 << 0;
        QTest::newRow("7.1 supported") << 1 << 0 << 0;
    }

    void headsetWithoutSurround()
    {
        QFETCH(int, surround);
        QFETCH(int, headsetModel);
        QFETCH(int, tab);
        {
            const QSignalBlocker quiet(m_window->ui.tabWidget);
            m_window->ui.tabWidget->setCurrentIndex(1);
            m_window->setTabWidgetIndex(0);
            if (m_window->ui.tabWidget->currentIndex() != 0)
                QSKIP("tab switching (setTabWidgetIndex) is not in this build yet");
        }
        surroundSupported = surround;
        m_window->m_headsetModel = headsetModel;
        m_window->on_SLOTReadAudio(ReplyReadAudio);
        QCOMPARE(m_window->ui.tabWidget->currentIndex(), tab);
    }
};

TTT_TEST_MAIN(RepliesTest)
#include "test_replies.moc"
