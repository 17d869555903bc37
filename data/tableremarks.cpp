// SPDX-License-Identifier: GPL-3.0-or-later
#include "tableremarks.h"

#include <QStringList>

#include <charconv>
#include <cstring>

namespace {

inline bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f';
}

bool isNumber(const char *b, const char *e)
{
    if (b != e && (*b == '+'))
        ++b;
    double v;
    const std::from_chars_result r = std::from_chars(b, e, v);
    return (r.ec == std::errc() || r.ec == std::errc::result_out_of_range) && r.ptr == e;
}

void lookAtLine(const char *p, const char *end, int lineNumber, qint64 used,
                PointTableRemarks &r)
{
    while (p != end && isSeparator(*p))
        ++p;
    if (p == end || *p == '#')
        return;
    int fields = 0;
    bool text = false;
    while (p != end) {
        const char *f = p;
        while (p != end && !isSeparator(*p))
            ++p;
        text = text || !isNumber(f, p);
        ++fields;
        while (p != end && isSeparator(*p))
            ++p;
    }
    r.widestLine = qMax(r.widestLine, fields);
    if (fields > used)
        ++r.widerLines;
    if (text && r.textLines++ == 0)
        r.firstTextLine = lineNumber;
}

} // namespace

PointTableRemarks pointTableRemarks(const QByteArray &bytes, int channels)
{
    PointTableRemarks r;
    const qint64 used = 1 + 2 * qint64(qMax(channels, 1));
    const char *p = bytes.constData();
    const char *end = p + qMin<qint64>(bytes.size(), maxRemarkBytes);
    int lineNumber = 0;
    while (p < end) {
        const void *nl = std::memchr(p, '\n', size_t(end - p));
        const char *lineEnd = nl ? static_cast<const char *>(nl) : end;
        lookAtLine(p, lineEnd, ++lineNumber, used, r);
        p = lineEnd + 1;
    }
    return r;
}

QString remarksText(const PointTableRemarks &r, int channels)
{
    QStringList parts;
    if (r.widerLines > 0)
        parts << QStringLiteral("up to %1 fields per line, of which a point table of %2 "
                                "channel(s) uses %3")
                         .arg(r.widestLine)
                         .arg(channels)
                         .arg(1 + 2 * channels);
    if (r.textLines > 0)
        parts << QStringLiteral("%1 line(s) that are not numbers (the first is line %2)")
                         .arg(r.textLines)
                         .arg(r.firstTextLine);
    if (parts.isEmpty())
        return QString();
    return QStringLiteral("read as a point table with %1; if it is a column file, read it "
                          "with a recipe")
            .arg(parts.join(QStringLiteral(" and ")));
}
