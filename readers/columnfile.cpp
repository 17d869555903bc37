// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnfile.h"

#include "timestampwords.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <cstdint>
#include <cstring>

namespace {

// A header longer than this is no header of a scan.
constexpr qint64 maxHeaderBytes = qint64(4) << 20;
// Bytes read from the device at a time by the row reader.
constexpr qint64 chunkBytes = qint64(1) << 20;
constexpr size_t maxKeptBadRows = 100;
// Far more than any detector's scan has, few enough to keep in memory.
constexpr int maxColumns = 100000;

inline bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f';
}

// Most fields of a scan are plain decimals ("-12.5", "150000") with fewer
// than 16 digits. Their digits as an integer and the power of ten of their
// decimals are both exact doubles, so one division, correctly rounded, gives
// the very double from_chars gives, at a fraction of its cost. False leaves
// the field to from_chars: an exponent, many digits, no digit on either side
// of the point, anything else.
inline bool parsePlainDecimal(const char *p, const char *end, double &value)
{
    static constexpr double powersOfTen[] = { 1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22 };
    const bool negative = p != end && *p == '-';
    p += negative;
    const char *const digitsBegin = p;
    std::uint64_t mantissa = 0;
    while (p != end && unsigned(*p - '0') < 10)
        mantissa = mantissa * 10 + unsigned(*p++ - '0');
    const long whole = p - digitsBegin;
    long decimals = 0;
    if (p != end && *p == '.') {
        const char *const decimalsBegin = ++p;
        while (p != end && unsigned(*p - '0') < 10)
            mantissa = mantissa * 10 + unsigned(*p++ - '0');
        decimals = p - decimalsBegin;
        if (decimals == 0)
            return false;
    }
    if (p != end || whole == 0 || whole + decimals > 19 || decimals > 22
        || mantissa > (std::uint64_t(1) << 53))
        return false;
    const double v = double(mantissa) / powersOfTen[decimals];
    value = negative ? -v : v;
    return true;
}

#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// The decimal digits that x, eight characters with the first in its lowest
// byte, begins with: how many, and their value (eight characters converted
// at once, no branch per digit for the processor to mispredict).
inline int leadingDigits(const char *p, std::uint64_t &value)
{
    std::uint64_t x;
    std::memcpy(&x, p, 8);
    const std::uint64_t t = x ^ 0x3030303030303030ULL; // '0' to '9' become 0 to 9
    // A byte above 9 has a bit in its high half, itself or once 6 is added.
    // (A carry out of a byte only marks those after it, which are not looked at.)
    const std::uint64_t other = (t | (t + 0x0606060606060606ULL)) & 0xF0F0F0F0F0F0F0F0ULL;
    const int count = other == 0 ? 8 : __builtin_ctzll(other) / 8;
    if (count == 0)
        return 0;
    // The digits as the last of eight, behind zeros; then pairs, fours, eight.
    std::uint64_t d = t << (8 * (8 - count));
    d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFULL;
    d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFULL;
    value = (d * 10000 + (d >> 32)) & 0xFFFFFFFFULL;
    return count;
}

// The field at p as a plain decimal of at most seven digits before and seven
// after the point, read in steps of eight characters: the end of the field,
// or null for a field that is anything else. The digits are an exact double,
// the power of ten too: one correctly rounded division gives the double
// from_chars gives. There must be 17 bytes to read from p on, whatever the
// field's length: a sign, seven digits, a point and eight more.
inline const char *scanShortDecimal(const char *p, const char *end, double &value)
{
    static constexpr double powersOfTen[] = { 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7 };
    const bool negative = *p == '-';
    p += negative;
    std::uint64_t mantissa = 0;
    const int whole = leadingDigits(p, mantissa);
    if (whole == 0 || whole == 8)
        return nullptr;
    p += whole;
    int decimals = 0;
    if (p < end && *p == '.') {
        std::uint64_t fraction = 0;
        decimals = leadingDigits(++p, fraction);
        if (decimals == 0 || decimals == 8)
            return nullptr;
        mantissa = mantissa * std::uint64_t(powersOfTen[decimals]) + fraction;
        p += decimals;
    }
    if (p > end || (p < end && !isSeparator(*p)))
        return nullptr;
    const double v = double(mantissa) / powersOfTen[decimals];
    value = negative ? -v : v;
    return p;
}
#else
inline const char *scanShortDecimal(const char *, const char *, double &)
{
    return nullptr;
}
#endif

// Converts [begin, end) as a whole into value: a decimal number with an
// optional sign and exponent, or inf/nan. Anything else is not a number.
bool parseNumber(const char *begin, const char *end, double &value)
{
    if (begin != end && *begin == '+')
        ++begin;
    if (parsePlainDecimal(begin, end, value))
        return true;
    const std::from_chars_result r = std::from_chars(begin, end, value);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the value the digits stand for,
        // rounded as strtod rounds (to infinity or to zero).
        value = std::strtod(std::string(begin, end).c_str(), nullptr);
        return true;
    }
    return r.ec == std::errc() && r.ptr == end;
}

struct FirstBadField
{
    int index = -1;
    const char *begin = nullptr;
    const char *end = nullptr;
};

// What a line's fields were besides numbers: the fields left empty between
// two commas (or before a first, or for a last), each a missing value.
struct EmptyFields
{
    int count = 0;
    int first = -1; // index of the first, -1: none
};

// The number of fields a run of separators with that many commas stands
// for, empty, besides separating: every comma separates, so two with
// nothing between them have an empty field between them, and a comma before
// the first field has one before it. A comma that ends the line adds none:
// the caller decides, by the header's count, whether it stood for a last
// field left empty.
inline int emptyFieldsOf(int commas, bool first)
{
    return commas == 0 ? 0 : first ? commas : commas - 1;
}

// Splits the line [p, end) into fields and converts the first columns fields
// into row: the number of fields, the first that is not a number, and the
// empty ones (not-a-number in row). Blanks and tabs separate as a run; see
// emptyFieldsOf for commas. The buffer holding the line goes on to
// bufferEnd: short numbers are read eight bytes at a time where it reaches
// far enough.
int parseFields(const char *p, const char *end, const char *bufferEnd, double *row, int columns,
                FirstBadField &bad, EmptyFields &empty)
{
    int n = 0;
    auto addEmpty = [&](int k) {
        for (; k > 0; --k, ++n) {
            if (n < columns)
                row[n] = std::numeric_limits<double>::quiet_NaN();
            if (empty.count++ == 0)
                empty.first = n;
        }
    };
    for (;; ++n) {
        int commas = 0;
        while (p != end && isSeparator(*p))
            commas += *p++ == ',';
        if (p == end) {
            addEmpty(emptyFieldsOf(commas, n == 0));
            // "1,2," under three names: the last value is missing.
            if (commas > 0 && n > 0 && n + 1 == columns)
                addEmpty(1);
            return n;
        }
        addEmpty(emptyFieldsOf(commas, n == 0));
        double v = 0.0;
        const char *fieldEnd = bufferEnd - p > 24 ? scanShortDecimal(p, end, v) : nullptr;
        if (!fieldEnd) {
            fieldEnd = p;
            while (fieldEnd != end && !isSeparator(*fieldEnd))
                ++fieldEnd;
            if (n < columns && !parseNumber(p, fieldEnd, v) && bad.index < 0)
                bad = FirstBadField { n, p, fieldEnd };
        }
        if (n < columns)
            row[n] = v;
        p = fieldEnd;
    }
}

// The fields of a line as parseFields splits them (a comma that ends the
// line adds none), as byte ranges; an empty field is an empty range.
template<typename Visit> int forEachField(const char *p, const char *end, Visit visit)
{
    int count = 0;
    while (true) {
        int commas = 0;
        while (p != end && isSeparator(*p))
            commas += *p++ == ',';
        for (int k = emptyFieldsOf(commas, count == 0); k > 0; --k) {
            if (!visit(count, p, p))
                return -1;
            ++count;
        }
        if (p == end)
            return count;
        const char *fieldEnd = p;
        while (fieldEnd != end && !isSeparator(*fieldEnd))
            ++fieldEnd;
        if (!visit(count, p, fieldEnd))
            return -1;
        ++count;
        p = fieldEnd;
    }
}

// Field count of a data row: every field a number or left empty, at least
// one a number; 0 for anything else.
int dataFieldCount(const QByteArray &line)
{
    if (line.startsWith('#'))
        return 0;
    double v;
    bool number = false;
    const int n = forEachField(line.constData(), line.constData() + line.size(),
                               [&](int, const char *b, const char *e) {
                                   if (b == e)
                                       return true;
                                   number = true;
                                   return parseNumber(b, e, v);
                               });
    return n > 0 && number ? n : 0;
}

bool isDashLine(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    if (t.size() < 3)
        return false;
    for (char c : t) {
        if (c != '-' && c != ' ' && c != '\t')
            return false;
    }
    return true;
}

QString withoutHashes(const QByteArray &line)
{
    int i = 0;
    while (i < line.size() && line.at(i) == '#')
        ++i;
    return QString::fromUtf8(line.mid(i)).trimmed();
}

// What the lines before the data say about the names.
struct HeaderLines
{
    QMap<int, QString> xdiNames; // by column index from 0
    QStringList comments; // comment lines, '#' removed, in file order
    QString specLabels; // the last "#L" line's text
    QString dashedLabels; // the line after the last line of dashes
    QString plainLabels; // the line right before the data, if it is no comment
};

void collectHeaderLine(const QByteArray &line, bool afterDashes, HeaderLines &h)
{
    static const QRegularExpression xdiColumn(
        QStringLiteral("^#\\s*Column\\.(\\d+)\\s*:\\s*(\\S+)"),
        QRegularExpression::CaseInsensitiveOption);
    h.plainLabels = line.startsWith('#') ? QString() : QString::fromUtf8(line).trimmed();
    if (!line.startsWith('#')) {
        if (afterDashes)
            h.dashedLabels = QString::fromUtf8(line).trimmed();
        return;
    }
    const QString text = QString::fromUtf8(line);
    const QRegularExpressionMatch m = xdiColumn.match(text);
    if (m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n >= 1 && n <= 100000)
            h.xdiNames.insert(n - 1, m.captured(2));
        return;
    }
    if (line.startsWith("#L ") || line.startsWith("#L\t"))
        h.specLabels = QString::fromUtf8(line.mid(2)).trimmed();
    h.comments.append(withoutHashes(line));
}

// SPEC separates its labels by two blanks, as a label may hold one.
QStringList splitSpecLabels(const QString &text, int fields)
{
    static const QRegularExpression twoBlanks(QStringLiteral("\\s{2,}"));
    const QStringList wide = text.split(twoBlanks, Qt::SkipEmptyParts);
    if (wide.size() == fields)
        return wide;
    return splitColumnFields(text);
}

void chooseNames(const HeaderLines &h, int fields, ColumnHeader &header)
{
    QStringList names;
    if (!h.xdiNames.isEmpty()) {
        header.source = ColumnHeader::Xdi;
        for (int i = 0; i < fields; ++i)
            names.append(h.xdiNames.value(i));
    } else if (!h.dashedLabels.isEmpty() && splitColumnFields(h.dashedLabels).size() == fields) {
        header.source = ColumnHeader::DashedLabels;
        names = splitColumnFields(h.dashedLabels);
    } else if (!h.specLabels.isEmpty() && splitSpecLabels(h.specLabels, fields).size() == fields) {
        header.source = ColumnHeader::SpecLabels;
        names = splitSpecLabels(h.specLabels, fields);
    } else {
        for (int i = h.comments.size() - 1; i >= 0; --i) {
            const QStringList f = splitColumnFields(h.comments.at(i));
            if (f.size() == fields && !allNumbersOrDates(f)) {
                header.source = ColumnHeader::CommentLine;
                names = f;
                break;
            }
        }
    }
    // The one line of names that spreadsheets, pandas and numpy write.
    if (names.isEmpty() && splitColumnFields(h.plainLabels).size() == fields) {
        header.source = ColumnHeader::PlainLabels;
        names = splitColumnFields(h.plainLabels);
    }
    for (int i = 0; i < fields; ++i) {
        if (i >= names.size())
            names.append(QString());
        if (names.at(i).isEmpty())
            names[i] = QStringLiteral("$%1").arg(i + 1);
    }
    header.names = names;
}

QByteArray withoutLineEnd(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// Whether the header's names are meant for rows of that many fields: XDI
// numbers its columns, the other sources are chosen by their count.
bool namesFit(const HeaderLines &h, int fields)
{
    if (!h.xdiNames.isEmpty())
        return h.xdiNames.lastKey() + 1 == fields;
    ColumnHeader header;
    chooseNames(h, fields, header);
    return header.source != ColumnHeader::NoNames;
}

// The field count of the next data row within a few lines, or 0. The device
// is left anywhere: the caller goes back to the first row.
int nextDataFieldCount(QIODevice &device)
{
    for (int i = 0; i < 16 && !device.atEnd(); ++i) {
        const int fields = dataFieldCount(withoutLineEnd(device.readLine(maxHeaderBytes)));
        if (fields > 0)
            return fields;
    }
    return 0;
}

// Whether the row of numbers just read, of that many fields, is a preamble
// line rather than the first row: text follows it before the next row of
// numbers, which has another count (a time stamp or the size of the scan
// written above the names). The device is left anywhere.
bool isPreamble(QIODevice &device, int fields)
{
    bool text = false;
    for (int i = 0; i < 64 && !device.atEnd(); ++i) {
        const QByteArray line = withoutLineEnd(device.readLine(maxHeaderBytes));
        const int next = dataFieldCount(line);
        if (next > 0)
            return text && next != fields;
        text = text || !line.trimmed().isEmpty();
    }
    return false;
}

// The rows' field count is the first row's, unless that row alone disagrees
// with the names and with the row after it: then it is the bad row, to be
// reported as such against the header's count, not taken as the reference
// that makes every other row look wrong.
int rowFieldCount(const HeaderLines &h, int first, QIODevice &device)
{
    if (namesFit(h, first))
        return first;
    const int next = nextDataFieldCount(device);
    return next > 0 && next != first && namesFit(h, next) ? next : first;
}

} // namespace

QStringList splitColumnFields(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    QStringList fields;
    forEachField(bytes.constData(), bytes.constData() + bytes.size(),
                 [&fields](int, const char *b, const char *e) {
                     fields.append(QString::fromUtf8(b, int(e - b)));
                     return true;
                 });
    return fields;
}

bool looksLikeXdi(const QByteArray &head)
{
    return head.startsWith("# XDI/") || head.startsWith("#XDI/");
}

ColumnHeader readColumnHeader(QIODevice &device, int firstLine)
{
    ColumnHeader header;
    const qint64 start = device.pos();
    HeaderLines lines;
    bool afterDashes = false;
    int lineNumber = firstLine - 1;
    while (!device.atEnd() && device.pos() - start < maxHeaderBytes) {
        const qint64 lineStart = device.pos();
        const QByteArray raw = device.readLine(maxHeaderBytes);
        ++lineNumber;
        // A line cut at the limit is no line of a scan's header or rows, and
        // taking its first part for a row would make millions of columns.
        if (raw.size() >= maxHeaderBytes - 1 && !raw.endsWith('\n')) {
            header.error
                = QCoreApplication::translate("Recordings", "line %1 is longer than %2 bytes")
                      .arg(lineNumber)
                      .arg(maxHeaderBytes);
            return header;
        }
        const QByteArray line = withoutLineEnd(raw);
        if (lineNumber == firstLine)
            header.xdi = looksLikeXdi(line);
        const int fields = dataFieldCount(line);
        if (fields > maxColumns) {
            header.error
                = QCoreApplication::translate("Recordings", "line %1 has more than %2 fields")
                      .arg(lineNumber)
                      .arg(maxColumns);
            return header;
        }
        if (fields > 0) {
            const qint64 after = device.pos();
            const bool preamble = isPreamble(device, fields);
            if (!device.seek(after)) {
                header.error = QStringLiteral("cannot go back to line %1").arg(lineNumber + 1);
                return header;
            }
            if (preamble)
                continue;
            chooseNames(lines, rowFieldCount(lines, fields, device), header);
            header.dataOffset = lineStart;
            header.dataLine = lineNumber;
            if (!device.seek(lineStart))
                header.error = QStringLiteral("cannot go back to line %1").arg(lineNumber);
            return header;
        }
        if (line.trimmed().isEmpty())
            continue;
        collectHeaderLine(line, afterDashes, lines);
        afterDashes = isDashLine(line);
    }
    header.error = device.atEnd()
        ? QStringLiteral("no row of numbers in %1 lines").arg(lineNumber - firstLine + 1)
        : QStringLiteral("no row of numbers in the first %1 bytes").arg(maxHeaderBytes);
    return header;
}

ColumnReader::ColumnReader(QIODevice &device, const ColumnHeader &header)
    : m_device(device)
    , m_columns(header.names.size())
    , m_line(header.dataLine - 1)
{
    m_row.resize(size_t(m_columns));
}

bool ColumnReader::fillBuffer()
{
    if (m_atEnd)
        return false;
    m_buffer.remove(0, int(m_pos));
    m_pos = 0;
    // Read straight into the buffer's end: its memory is used again from
    // chunk to chunk instead of a fresh megabyte each time.
    const int kept = m_buffer.size();
    m_buffer.resize(kept + int(chunkBytes));
    const qint64 got = m_device.read(m_buffer.data() + kept, chunkBytes);
    m_buffer.resize(kept + int(qMax<qint64>(got, 0)));
    if (got <= 0) {
        if (m_device.isOpen() && !m_device.atEnd() && !m_device.errorString().isEmpty())
            m_deviceError = m_device.errorString();
        m_atEnd = true;
        return false;
    }
    return true;
}

void ColumnReader::addBadRow(const QString &reason)
{
    ++m_badRowCount;
    if (m_badRows.size() < maxKeptBadRows)
        m_badRows.push_back(BadRow { m_line, reason });
}

bool ColumnReader::parseLine(const char *begin, const char *end, ColumnBlock &block)
{
    // Blanks before a row are no separator; a comma there is one.
    while (begin != end && isSeparator(*begin) && *begin != ',')
        ++begin;
    if (begin == end || *begin == '#')
        return false;
    FirstBadField bad;
    EmptyFields empty;
    const int columns = m_columns;
    double *row = m_row.data();
    const int n = parseFields(begin, end, m_buffer.constData() + m_buffer.size(), row, columns,
                              bad, empty);
    // A line of separators alone is an empty line.
    if (n == empty.count && end - begin == std::count_if(begin, end, isSeparator))
        return false;
    if (n != columns) {
        addBadRow(QCoreApplication::translate("Recordings", "%1 fields where the header has %2")
                      .arg(n)
                      .arg(columns));
        return false;
    }
    if (bad.index >= 0) {
        addBadRow(
            QCoreApplication::translate("Recordings", "field %1 \"%2\" is not a number")
                .arg(bad.index + 1)
                .arg(QString::fromUtf8(bad.begin, int(qMin<qsizetype>(bad.end - bad.begin, 40)))));
        return false;
    }
    if (empty.count > 0 && m_emptyFields++ == 0)
        m_firstEmpty = { m_line, empty.first + 1 };
    for (int i = 0; i < columns; ++i)
        block.columns[size_t(i)].push_back(row[i]);
    block.lines.push_back(m_line);
    if (m_keepText) {
        block.text.append(begin, size_t(end - begin));
        block.text.push_back('\n');
        block.textEnds.push_back(block.text.size());
    }
    return true;
}

bool ColumnReader::readBlock(int maxRows, ColumnBlock &block)
{
    block.columns.resize(size_t(m_columns));
    for (std::vector<double> &c : block.columns)
        c.clear();
    block.lines.clear();
    block.text.clear();
    block.textEnds.clear();
    while (block.rows() < maxRows) {
        const char *data = m_buffer.constData();
        const void *nl = std::memchr(data + m_pos, '\n', size_t(m_buffer.size() - m_pos));
        if (!nl && fillBuffer())
            continue;
        if (!nl && m_pos >= m_buffer.size())
            break;
        data = m_buffer.constData();
        const char *lineBegin = data + m_pos;
        const char *lineEnd = nl ? static_cast<const char *>(nl) : data + m_buffer.size();
        ++m_line;
        m_unended = !nl && lineEnd != lineBegin;
        parseLine(lineBegin, lineEnd, block);
        m_pos = (lineEnd - data) + (nl ? 1 : 0);
    }
    return block.rows() > 0;
}
