// The first connection of a headset the program has never seen: the handshake and the
// restore of its sound modes, report for report as the emulated headset receives them,
// against tests/common/handshake.wire (the table the virtual-machine test holds the real
// kernel's wire to).
#include "common/headsetemulator.h"
#include "common/testmain.h"
#include "common/wiretable.h"
#include "window/ToneTuningTool.h"

#include <memory>

class HandshakeTest : public QObject
{
    Q_OBJECT

  private slots:
    void firstConnectionOfANewHeadset()
    {
        const ttt_test::WireTable table =
            ttt_test::readWireTable(qEnvironmentVariable("TTT_SOURCE_DIR") + "/tests/common/handshake.wire");
        QVERIFY(table.size() > 0);
        HeadsetEmulator emulator; // the default headset and its consumer interface, plugged in
        auto window = std::make_unique<ToneTuningTool>();
        QTRY_VERIFY_WITH_TIMEOUT(emulator.sentSince().size() >= table.size(), 20000);
        const QList<QByteArray> sent = emulator.sentSince().mid(0, table.size());
        const QString faults = ttt_test::compareWithTable(table, sent);
        if (!faults.isEmpty())
            for (const QByteArray &report : emulator.sentSince())
                qInfo().noquote() << "sent" << report.size() << report.toHex(' ');
        QVERIFY2(faults.isEmpty(), qPrintable(faults));
    }
};

TTT_TEST_MAIN(HandshakeTest)
#include "test_handshake.moc"
