// SPDX-License-Identifier: GPL-3.0-or-later
#include "tableremarks.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QStringList>

#include <charconv>
#include <cstring>
#include <vector>

namespace {

bool isNumber(const char *b, const char *e)
{
    if (b != e && (*b == '+'))
        ++b;
    double v;
    const std::from_chars_result r = std::from_chars(b, e, v);
    return (r.ec == std::errc() || r.ec == std::errc::result_out_of_range) && r.ptr == e;
}

// Bytes that no plain decimal number holds: where one turns up, the field is
// converted to be sure (it may still be "nan", "inf" or "1e5").
struct ByteClasses
{
    bool separator[256] = {};
    bool unusual[256] = {};

    ByteClasses()
    {
        for (int c = 0; c < 256; ++c)
            unusual[c] = !((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+');
        for (unsigned char c : { ' ', '\t', ',', '\r', '\v', '\f' }) {
            separator[c] = true;
            unusual[c] = false;
        }
    }
};

const ByteClasses classes;

bool hasTextField(const char *p, const char *end)
{
    while (p != end) {
        while (p != end && classes.separator[uchar(*p)])
            ++p;
        const char *f = p;
        while (p != end && !classes.separator[uchar(*p)])
            ++p;
        if (f != p && !isNumber(f, p))
            return true;
    }
    return false;
}

void lookAtLine(const char *p, const char *end, int lineNumber, qint64 used, PointTableRemarks &r)
{
    while (p != end && classes.separator[uchar(*p)])
        ++p;
    if (p == end || *p == '#')
        return;
    const char *begin = p;
    int fields = 0;
    bool unusual = false;
    bool inField = false;
    for (; p != end; ++p) {
        const uchar c = uchar(*p);
        const bool separator = classes.separator[c];
        fields += !separator && !inField;
        inField = !separator;
        unusual |= classes.unusual[c];
    }
    r.widestLine = qMax(r.widestLine, fields);
    if (fields > used)
        ++r.widerLines;
    if (unusual && hasTextField(begin, end) && r.textLines++ == 0)
        r.firstTextLine = lineNumber;
}

// The data lines in the order they come, whether in one piece or in blocks.
struct RemarkScan
{
    explicit RemarkScan(int channels)
        : used(1 + 2 * qint64(qMax(channels, 1)))
    { }

    // Looks at every line of [p, end) that ends in a newline; returns the
    // start of the unfinished line after them.
    const char *wholeLines(const char *p, const char *end)
    {
        while (p < end) {
            const void *nl = std::memchr(p, '\n', std::size_t(end - p));
            if (!nl)
                break;
            lookAtLine(p, static_cast<const char *>(nl), ++lineNumber, used, remarks);
            p = static_cast<const char *>(nl) + 1;
        }
        return p;
    }

    // The text after the last newline, if any, is a line too.
    void lastLine(const char *p, const char *end)
    {
        if (p < end)
            lookAtLine(p, end, ++lineNumber, used, remarks);
    }

    qint64 used;
    int lineNumber = 0;
    PointTableRemarks remarks;
};

} // namespace

PointTableRemarks pointTableRemarks(const QByteArray &bytes, int channels)
{
    RemarkScan scan(channels);
    const char *p = bytes.constData();
    const char *end = p + qMin<qint64>(bytes.size(), maxRemarkBytes);
    scan.lastLine(scan.wholeLines(p, end), end);
    return scan.remarks;
}

PointTableRemarks pointTableRemarks(QIODevice &device, int channels, qint64 blockSize)
{
    RemarkScan scan(channels);
    std::vector<char> buffer;
    std::size_t kept = 0; // the start of a line that the next block goes on with
    qint64 left = maxRemarkBytes;
    while (left > 0) {
        const qint64 want = qMin(qMax<qint64>(blockSize, 1), left);
        buffer.resize(kept + std::size_t(want));
        const qint64 got = device.read(buffer.data() + kept, want);
        if (got <= 0)
            break;
        left -= got;
        // A line longer than a block (a binary file without newlines) is
        // searched for its end only in what each block adds.
        if (!std::memchr(buffer.data() + kept, '\n', std::size_t(got))) {
            kept += std::size_t(got);
            continue;
        }
        const char *end = buffer.data() + kept + got;
        const char *rest = scan.wholeLines(buffer.data(), end);
        kept = std::size_t(end - rest);
        std::memmove(buffer.data(), rest, kept);
    }
    scan.lastLine(buffer.data(), buffer.data() + kept);
    return scan.remarks;
}

QString remarksText(const PointTableRemarks &r, int channels)
{
    QStringList parts;
    if (r.widerLines > 0)
        parts << QCoreApplication::translate("Recordings",
                                             "up to %1 fields per line, of which a point table "
                                             "of %2 channel(s) uses %3")
                     .arg(r.widestLine)
                     .arg(channels)
                     .arg(1 + 2 * channels);
    if (r.textLines > 0)
        parts << QCoreApplication::translate("Recordings",
                                             "%1 line(s) that are not numbers (the first is line "
                                             "%2)")
                     .arg(r.textLines)
                     .arg(r.firstTextLine);
    if (parts.isEmpty())
        return QString();
    return QCoreApplication::translate("Recordings",
                                       "read as a point table with %1; if it is a column file, "
                                       "read it with a recipe")
        .arg(parts.join(QCoreApplication::translate("Recordings", " and ")));
}
