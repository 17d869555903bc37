// SPDX-License-Identifier: GPL-3.0-or-later
#include "tableremarks.h"

#include "textnumbers.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QStringList>

#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The bytes that separate fields.
inline bool isSeparator(uchar c)
{
    return c == ' ' || c == ',' || c == '\t' || uchar(c - '\v') <= uchar('\r' - '\v');
}

// Bytes that no plain decimal number holds: where one turns up, the field is
// converted to be sure (it may still be "nan", "inf" or "1e5").
inline bool isUnusual(uchar c)
{
    const bool decimal = uchar(c - '+') <= uchar('9' - '+') && c != '/';
    return !decimal && !isSeparator(c);
}

// A field of digits, signs and points alone is a number when it has a sign
// only at its start, one point at most and a digit; where that is not so
// ("1.2.3", "5-3", "-" or "." for a missing value) the line is converted to be
// sure, as for an unusual byte. The state carried from byte to byte, or from
// one block of sixteen to the next:
struct FieldShape
{
    bool afterPoint = false; // a point, then digits only since
    bool noDigitYet = false; // the field so far is signs and points
    bool misshapen = false;

    void byte(uchar c, bool start, bool separator)
    {
        const bool digit = uchar(c - '0') <= 9;
        const bool point = c == '.';
        const bool sign = c == '+' || c == '-';
        misshapen = misshapen || (sign && !start) || (point && afterPoint)
                || (separator && noDigitYet);
        afterPoint = point || (afterPoint && digit);
        noDigitYet = (start || noDigitYet) && (sign || point);
    }
    // The end of the line ends its last field.
    bool misshapenAtEnd() const { return misshapen || noDigitYet; }
};

bool hasTextField(const char *p, const char *end)
{
    while (p != end) {
        while (p != end && isSeparator(uchar(*p)))
            ++p;
        const char *f = p;
        while (p != end && !isSeparator(uchar(*p)))
            ++p;
        if (f != p && !latin1IsNumber(f, p))
            return true;
    }
    return false;
}

// The fields of a line and whether it holds an unusual byte.
struct LineBytes
{
    int fields = 0;
    bool unusual = false;
};

#if defined(__SSE2__)
// The set bits of every byte value: a population count that needs no
// instruction the baseline processor may lack.
struct BitCounts
{
    uchar of[256];
    BitCounts()
    {
        for (int b = 0; b < 256; ++b)
            of[b] = uchar((b & 1) + (b >> 1 & 1) + (b >> 2 & 1) + (b >> 3 & 1) + (b >> 4 & 1)
                          + (b >> 5 & 1) + (b >> 6 & 1) + (b >> 7 & 1));
    }
};

const BitCounts bitCounts;

// Sixteen bytes at a time: a table of a hundred thousand lines is looked at in
// full, and byte by byte that costs as much as reading the numbers.
const uchar *lookAt16(const uchar *p, const uchar *end, LineBytes &b, bool &afterSeparator,
                      FieldShape &shape)
{
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i vt = _mm_set1_epi8('\v');
    const __m128i vtToCr = _mm_set1_epi8('\r' - '\v');
    const __m128i plus = _mm_set1_epi8('+');
    const __m128i plusToNine = _mm_set1_epi8('9' - '+');
    const __m128i slash = _mm_set1_epi8('/');
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i zeroToNine = _mm_set1_epi8(9);
    const __m128i point = _mm_set1_epi8('.');
    const __m128i minus = _mm_set1_epi8('-');
    __m128i unusual = _mm_setzero_si128();
    quint32 carry = afterSeparator ? 1 : 0;
    quint32 afterPoint = shape.afterPoint ? 1 : 0;
    quint32 noDigitYet = shape.noDigitYet ? 1 : 0;
    quint32 misshapen = 0;
    for (; end - p >= 16; p += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        // c - lo <= hi - lo, unsigned: c in [lo, hi].
        const __m128i v = _mm_sub_epi8(c, vt);
        const __m128i controls = _mm_cmpeq_epi8(_mm_min_epu8(v, vtToCr), v);
        const __m128i separator
                = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(c, space), _mm_cmpeq_epi8(c, comma)),
                               _mm_or_si128(_mm_cmpeq_epi8(c, tab), controls));
        const __m128i d = _mm_sub_epi8(c, plus);
        const __m128i decimal = _mm_andnot_si128(_mm_cmpeq_epi8(c, slash),
                                                 _mm_cmpeq_epi8(_mm_min_epu8(d, plusToNine), d));
        unusual = _mm_or_si128(unusual, _mm_cmpeq_epi8(_mm_or_si128(separator, decimal),
                                                       _mm_setzero_si128()));
        const quint32 bits = quint32(_mm_movemask_epi8(separator));
        // A field starts at a byte that is no separator after one that is.
        const quint32 starts = ~bits & ((bits << 1) | carry);
        b.fields += bitCounts.of[starts & 0xffu] + bitCounts.of[starts >> 8 & 0xffu];
        carry = bits >> 15;

        // FieldShape::byte for sixteen bytes. A run that starts at a set bit
        // of a and goes on over the set bits of b ends where a + b has a bit
        // that b has not: after a point over digits, after a field's start
        // over signs and points. The carry out of bit 15 is a run going on
        // into the next block.
        const __m128i z = _mm_sub_epi8(c, zero);
        const quint32 digits = quint32(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(z, zeroToNine), z)));
        const quint32 points = quint32(_mm_movemask_epi8(_mm_cmpeq_epi8(c, point)));
        const quint32 signs = quint32(_mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(c, plus), _mm_cmpeq_epi8(c, minus))));
        const quint32 pointRuns = (points << 1) + digits + afterPoint;
        const quint32 signRuns = starts + (signs | points) + noDigitYet;
        misshapen |= (signs & ~starts) | (pointRuns & ~digits & points)
                | (signRuns & ~(signs | points) & bits);
        afterPoint = (pointRuns >> 16) & 1;
        noDigitYet = (signRuns >> 16) & 1;
    }
    b.unusual = b.unusual || _mm_movemask_epi8(unusual) != 0;
    afterSeparator = carry != 0;
    shape.afterPoint = afterPoint != 0;
    shape.noDigitYet = noDigitYet != 0;
    shape.misshapen = shape.misshapen || (misshapen & 0xffffu) != 0;
    return p;
}
#endif

LineBytes lookAtBytes(const uchar *p, const uchar *end)
{
    LineBytes b;
    bool afterSeparator = true;
    FieldShape shape;
#if defined(__SSE2__)
    p = lookAt16(p, end, b, afterSeparator, shape);
#endif
    for (; p != end; ++p) {
        const bool separator = isSeparator(*p);
        const bool start = !separator && afterSeparator;
        b.fields += start;
        afterSeparator = separator;
        b.unusual = b.unusual || isUnusual(*p);
        shape.byte(*p, start, separator);
    }
    b.unusual = b.unusual || shape.misshapenAtEnd();
    return b;
}

// Looks at one line for the remarks; returns its fields (0 for a line that is
// blank or a comment, which is no data line).
int lookAtLine(const char *p, const char *end, int lineNumber, qint64 used, PointTableRemarks &r)
{
    while (p != end && isSeparator(uchar(*p)))
        ++p;
    if (p == end || *p == '#')
        return 0;
    const LineBytes b = lookAtBytes(reinterpret_cast<const uchar *>(p),
                                    reinterpret_cast<const uchar *>(end));
    r.widestLine = qMax(r.widestLine, b.fields);
    if (b.fields > used)
        ++r.widerLines;
    if (b.unusual && hasTextField(p, end) && r.textLines++ == 0)
        r.firstTextLine = lineNumber;
    return b.fields;
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

// The length of a UTF-8 byte order mark at p, which the reader's text
// decoding takes off the first line: 3 or 0.
int byteOrderMarkAt(const char *p, const char *end)
{
    return end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

} // namespace

PointTableRemarks pointTableRemarks(const QByteArray &bytes, int channels)
{
    RemarkScan scan(channels);
    const char *p = bytes.constData();
    const char *end = p + qMin<qint64>(bytes.size(), maxRemarkBytes);
    p += byteOrderMarkAt(p, end);
    scan.lastLine(scan.wholeLines(p, end), end);
    return scan.remarks;
}

PointTableRemarks pointTableRemarks(QIODevice &device, int channels, qint64 blockSize)
{
    RemarkScan scan(channels);
    std::vector<char> buffer;
    std::size_t kept = 0; // the start of a line that the next block goes on with
    bool atFileStart = true; // the buffer begins with the file's first byte
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
        const char *start = buffer.data();
        if (atFileStart)
            start += byteOrderMarkAt(start, end);
        atFileStart = false;
        const char *rest = scan.wholeLines(start, end);
        kept = std::size_t(end - rest);
        std::memmove(buffer.data(), rest, kept);
    }
    const char *start = buffer.data();
    if (atFileStart)
        start += byteOrderMarkAt(start, start + kept);
    scan.lastLine(start, buffer.data() + kept);
    return scan.remarks;
}

void PointTableRemarkScan::look(const char *begin, const char *end)
{
    // Counted against a one-channel table here; against the first point's
    // width below.
    const int fields = lookAtLine(begin, end, ++m_lineNumber, 3, m_remarks);
    if (m_used > 0) {
        m_widerThanUsed += fields > m_used;
    } else {
        m_widestBeforeLast = qMax(m_widestBeforeLast, m_lastFields);
        m_lastFields = fields;
    }
}

void PointTableRemarkScan::firstPoint(int channels)
{
    if (m_used > 0)
        return;
    m_used = 1 + 2 * qint64(qMax(channels, 1));
    m_widerThanUsed = m_lastFields > m_used;
}

bool PointTableRemarkScan::known() const
{
    return m_complete && (m_used == 0 || m_widestBeforeLast <= m_used);
}

PointTableRemarks PointTableRemarkScan::remarks() const
{
    PointTableRemarks r = m_remarks;
    if (m_used > 0)
        r.widerLines = m_widerThanUsed;
    return r;
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
