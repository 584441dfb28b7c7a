#pragma once

// What the tests of the tuning screen share around Qt Test: band lists as test data and in
// failure messages, and a way out of a test function after a helper failed.

#include <QStringList>
#include <QTest>

#include <vector>

Q_DECLARE_METATYPE(std::vector<int>)

namespace QTest
{
// Band lists in failure messages.
template <> inline char *toString(const std::vector<int> &bands)
{
    QStringList values;
    for (int value : bands)
        values << QString::number(value);
    return qstrdup(qPrintable("{" + values.join(", ") + "}"));
}
} // namespace QTest

// Helpers that may fail the test return normally; callers stop with this.
#define RETURN_IF_FAILED()                                                                                   \
    do {                                                                                                     \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (0)
