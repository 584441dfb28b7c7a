#pragma once

// A small model of udev's rule files, enough to check a rule without udevadm verify
// (which systemd 252 on Debian 12 lacks): the syntax of every line, and which tags a
// rule gives a device with a given chain of parents.

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

struct UdevToken {
    QString key;       // "SUBSYSTEM", "ATTRS", "TAG", ...
    QString attribute; // the part in braces: "idVendor" in ATTRS{idVendor}
    QString op;        // "==", "!=", "=", "+=", "-=", ":="
    QString value;
};

struct UdevRule {
    int line = 0;
    QList<UdevToken> tokens;
};

struct UdevParseResult {
    QList<UdevRule> rules;
    QStringList errors; // "line N: why"
};

UdevParseResult parseUdevRules(const QString &text);

// A device as udev sees it while processing an event: its own properties and its
// parent chain (the hidraw node's parents: the HID device, the USB interface, the USB
// device that carries idVendor and idProduct).
struct UdevDevice {
    QString subsystem;
    QString kernel;
    QString driver;
    QMap<QString, QString> attributes;
    const UdevDevice *parent = nullptr;
};

// The tags the rules give `device` on an "add" event. Keys the model cannot evaluate
// are reported in `unsupported`, so a rule it does not understand never passes quietly.
QSet<QString> udevTagsFor(const QList<UdevRule> &rules, const UdevDevice &device, QStringList *unsupported);
