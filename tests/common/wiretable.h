#pragma once

// Tables of reports as the headset sees them on the wire, kept in text files that the
// emulator-based tests and the virtual-machine tests read alike (tests/common/*.wire):
//
//   64 4f 30 80 18 20 01 00 38   # a row: the report's length, then its leading bytes;
//                                #   the bytes up to the length are zero
//   --                           # a group mark: the rows up to the next mark may come
//                                #   in any order (timers decide it), the groups may not
//
// A table's rows in file order, each a whole report.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QStringList>

#include <algorithm>

namespace ttt_test {

struct WireTable {
    QList<QList<QByteArray>> groups; // each group's reports, in file order
    int size() const
    {
        int count = 0;
        for (const auto &group : groups)
            count += group.size();
        return count;
    }
};

inline WireTable readWireTable(const QString &path)
{
    WireTable table;
    table.groups.append(QList<QByteArray>());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (QByteArray line : file.readAll().split('\n')) {
        line = line.left(line.indexOf('#') < 0 ? line.size() : line.indexOf('#')).simplified();
        if (line.isEmpty())
            continue;
        if (line == "--") {
            table.groups.append(QList<QByteArray>());
            continue;
        }
        const int space = line.indexOf(' ');
        QByteArray report = QByteArray::fromHex(line.mid(space + 1));
        report.append(QByteArray(qMax(0, line.left(space).toInt() - report.size()), '\0'));
        table.groups.last().append(report);
    }
    return table;
}

// `sent` against the table: the same reports group by group, in any order within a group.
// Empty when they agree, otherwise what differs.
inline QString compareWithTable(const WireTable &table, QList<QByteArray> sent)
{
    QStringList faults;
    for (int g = 0; g < table.groups.size(); ++g) {
        QList<QByteArray> expected = table.groups[g];
        QList<QByteArray> got = sent.mid(0, expected.size());
        sent = sent.mid(expected.size());
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        for (const QByteArray &report : expected)
            if (!got.removeOne(report))
                faults << QString("group %1 lacks %2").arg(g + 1).arg(QString(report.toHex(' ')));
        for (const QByteArray &report : got)
            faults << QString("group %1 has the extra %2").arg(g + 1).arg(QString(report.toHex(' ')));
    }
    return faults.join('\n');
}

} // namespace ttt_test
