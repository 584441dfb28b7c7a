#pragma once

// Drives the headset emulator (build/bin/libheadset-emulator.so, which the test harness
// names in TONETUNINGTOOL_HID_LIBRARY) from a test: its control socket, its wire log and
// its configuration, all in a temporary folder of the test's own.
//
//   HeadsetEmulator emulator;                 // the default headset, plugged in
//   emulator.command("replies off");          // QVERIFY(... == "ok")
//   emulator.markWire();  ...  emulator.wireSince()   // reports on the wire since the mark
//   emulator.reload(R"({"devices": [...]})"); // a different set of devices
//
// The settings reach the emulator when the HID library is loaded, so create it before
// the first device call. reload() unloads and loads the library again: only while no
// headset is open and no receive thread runs.

#include "device/hidlibrary.h"
#include "tools/headset-emulator/controlclient.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>

class HeadsetEmulator
{
  public:
    struct WireReport {
        bool out = false; // host to headset
        QByteArray bytes;
        double ms = 0; // the emulator's time stamp: milliseconds since it was loaded
    };

    explicit HeadsetEmulator(const QByteArray &configJson = {})
    {
        qputenv("HEADSET_EMULATOR_CONTROL", QFile::encodeName(socketPath()));
        qputenv("HEADSET_EMULATOR_WIRE_LOG", QFile::encodeName(wireLogPath()));
        reload(configJson);
    }
    ~HeadsetEmulator() { unloadHidLibrary(); }

    // Loads the library afresh with this configuration (empty: the built-in default).
    void reload(const QByteArray &configJson = {})
    {
        unloadHidLibrary();
        if (configJson.isEmpty()) {
            qunsetenv("HEADSET_EMULATOR_CONFIG");
        } else {
            QFile file(m_dir.filePath("config.json"));
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            file.write(configJson);
            file.close();
            qputenv("HEADSET_EMULATOR_CONFIG", QFile::encodeName(file.fileName()));
        }
        hidLibrary();
        markWire();
    }

    QString socketPath() const { return m_dir.filePath("control.sock"); }
    QString wireLogPath() const { return m_dir.filePath("wire.log"); }
    QString folder() const { return m_dir.path(); }

    // The emulator's answer: "ok" or "error: ...".
    QString command(const QString &line) const
    {
        return QString::fromStdString(
            emulator::sendControlCommand(socketPath().toStdString(), line.toStdString()));
    }

    // Every line of the wire log, parsed.
    QList<WireReport> wire() const { return readWire(wireLogPath()); }

    // Every line of a wire log file, parsed: also the log of the emulator in a program that
    // a test started as a process of its own (HEADSET_EMULATOR_WIRE_LOG in its environment).
    static QList<WireReport> readWire(const QString &path)
    {
        QList<WireReport> reports;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return reports;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() < 3)
                continue;
            WireReport report;
            report.out = words[1] == "OUT";
            report.ms = words[0].toDouble();
            report.bytes = QByteArray::fromHex(line.mid(line.indexOf(words[1]) + words[1].size()));
            reports.append(report);
        }
        return reports;
    }
    void markWire() { m_mark = wire().size(); }
    QList<WireReport> wireSince() const { return wire().mid(m_mark); }

    // The reports sent by the host since the mark, optionally only those of one command.
    QList<QByteArray> sentSince(int command = -1) const
    {
        QList<QByteArray> sent;
        for (const WireReport &report : wireSince())
            if (report.out &&
                (command < 0 || (report.bytes.size() > 4 && quint8(report.bytes[4]) == command)))
                sent.append(report.bytes);
        return sent;
    }

  private:
    QTemporaryDir m_dir;
    int m_mark = 0;
};
