// hexToInt, which turns every stored id text ("pid" of the preset files and of the
// settings file) into a number, against the strtol base-16 rules written out again:
// leading white space, a sign, an optional 0x, digits up to the first non-digit, no
// digits give 0, values beyond long saturate, and the result is limited to int.
//
// Input: the first byte picks how the rest becomes text (Latin-1, UTF-8 or UTF-16, as
// texts arrive from JSON), the rest is the text.

#include "fuzztargets.h"

#include "profiles/jsonfiles.h"

#include <QString>

#include <climits>
#include <cstring>

namespace
{

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text as the C library sees it: Latin-1 bytes, "?" for anything else, ending at
// the first NUL.
int referenceHexToInt(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    const char *p = bytes.constData();
    while (isCSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    // "0x" counts as a prefix only when a digit follows; otherwise the "0" is the number.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digitValue(p[2]) >= 0)
        p += 2;
    // Accumulated as a magnitude, saturating at what long can hold in either direction.
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    unsigned long magnitude = 0;
    bool saturated = false;
    for (int d; (d = digitValue(*p)) >= 0; ++p) {
        if (saturated || magnitude > (limit - d) / 16) {
            saturated = true;
            continue;
        }
        magnitude = magnitude * 16 + d;
    }
    long value;
    if (saturated)
        value = negative ? LONG_MIN : LONG_MAX;
    else if (negative)
        value =
            magnitude == static_cast<unsigned long>(LONG_MAX) + 1 ? LONG_MIN : -static_cast<long>(magnitude);
    else
        value = static_cast<long>(magnitude);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

QString textFrom(const uint8_t *data, size_t size)
{
    if (size == 0)
        return QString();
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const int length = static_cast<int>(size - 1);
    switch (data[0] % 3) {
    case 0:
        return QString::fromLatin1(bytes, length);
    case 1:
        return QString::fromUtf8(bytes, length);
    default: {
        QString text(length / 2, Qt::Uninitialized);
        std::memcpy(text.data(), bytes, static_cast<size_t>(length / 2) * 2);
        return text;
    }
    }
}

} // namespace

int fuzzHexToInt(const uint8_t *data, size_t size)
{
    const QString text = textFrom(data, size);
    const int value = hexToInt(text);
    fuzzCheck(value == referenceHexToInt(text));
    // A number written the way the files write ids reads back as itself.
    const QString written = (value < 0 ? "-" : "") + QString::number(qAbs(static_cast<qint64>(value)), 16);
    fuzzCheck(hexToInt(written) == value);
    fuzzCheck(hexToInt("0x" + written.toUpper()) == value || value < 0);
    return 0;
}
