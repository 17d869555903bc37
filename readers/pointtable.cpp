// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointtable.h"

#include "asciitext.h"
#include "keysearch.h"
#include "measfile.h"
#include "tableremarks.h"
#include "textfields.h"
#include "textnumbers.h"

#include <QBuffer>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

const char *const channelHeaderKey = "# Channels :";

namespace {

constexpr int headerKeyLength = 12;

inline bool isSeparator(char c)
{
    return c == ',' || isAsciiSpace(c);
}

bool isChannelHeader(const char *begin, const char *end)
{
    if (end - begin < headerKeyLength)
        return false;
    for (int i = 0; i < headerKeyLength; ++i) {
        char c = begin[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        char k = channelHeaderKey[i];
        if (k >= 'a' && k <= 'z')
            k = char(k - 'a' + 'A');
        if (c != k)
            return false;
    }
    return true;
}

// The value of a header line (simplified): what follows the key up to a
// "#", without the blanks around it, which the toolkit trims.
std::pair<const char *, const char *> headerValue(const char *begin, const char *end)
{
    const char *value = begin + headerKeyLength;
    if (const void *hash = std::memchr(value, '#', std::size_t(end - value)))
        end = static_cast<const char *>(hash);
    const char *b = skipAsciiSpace(value, end);
    const char *e = end;
    while (e != b && isAsciiSpace(e[-1]))
        --e;
    return { b, e };
}

// The channel count of a header line (simplified).
int headerChannelCount(const char *begin, const char *end)
{
    const auto [b, e] = headerValue(begin, end);
    return b == e ? 0 : latin1ToInt(b, e);
}

// Calls onField for every field of a data line of plain ASCII text (no carriage
// returns) until it returns false; returns the number of fields passed. Commas
// separate fields like white space, but a comma at either end of the line adds an
// empty field there; a blank line is one empty field.
template<typename OnField>
qint64 forEachField(const char *begin, const char *end, OnField onField)
{
    const char *p = skipAsciiSpace(begin, end);
    if (p == end) {
        onField(end, end);
        return 1;
    }
    qint64 count = 0;
    if (*p == ',') {
        ++count;
        if (!onField(p, p))
            return count;
    }
    bool commaLast = false;
    for (;;) {
        while (p != end && isSeparator(*p)) {
            commaLast = commaLast || *p == ',';
            ++p;
        }
        if (p == end)
            break;
        const char *word = p;
        while (p != end && !isSeparator(*p))
            ++p;
        commaLast = false;
        ++count;
        if (!onField(word, p))
            return count;
    }
    if (commaLast) {
        ++count;
        onField(end, end);
    }
    return count;
}

// Beyond this many fields a line is counted before its fields are kept, so that a
// channel count no line reaches costs no memory.
constexpr qint64 countFirstAbove = 4096;

// Reads one data line; whether it gave a point.
bool readDataLine(const char *begin, const char *end, int channels, int line,
                  const PointTableSink &sink, std::vector<double> &values)
{
    const qint64 needed = 2 * qint64(channels) + 1;
    if (needed > countFirstAbove) {
        qint64 seen = 0;
        const qint64 count = forEachField(begin, end, [&](const char *, const char *) {
            return ++seen < needed;
        });
        if (count < needed)
            return false;
    }

    // The same walk as forEachField, converting each field on the way.
    const char *p = skipAsciiSpace(begin, end);
    if (p == end) // one empty field, never enough
        return false;
    values.clear();
    if (*p == ',')
        values.push_back(0.0);
    bool commaLast = false;
    bool allNumbers = true;
    while (qint64(values.size()) < needed) {
        while (p != end && isSeparator(*p)) {
            commaLast = commaLast || *p == ',';
            ++p;
        }
        if (p == end)
            break;
        double value;
        const char *field = p;
        p = scanDoubleField(p, end, FieldSeparators::WhiteSpaceAndComma, value);
        // A field that does not convert gives 0; only then is it looked at again.
        if (value == 0.0 && allNumbers && sink.onNotNumber)
            allNumbers = latin1IsNumber(field, p);
        values.push_back(value);
        commaLast = false;
    }
    if (commaLast && qint64(values.size()) < needed)
        values.push_back(0.0);
    if (qint64(values.size()) < needed)
        return false;
    if (!allNumbers && sink.onNotNumber)
        sink.onNotNumber(line);
    if (sink.onValues) {
        sink.onValues(values.data(), channels, line);
        return true;
    }
    if (!sink.onPoint)
        return true;
    QVector<double> icrs(channels);
    QVector<double> scas(channels);
    std::copy(values.begin() + 1, values.begin() + 1 + channels, icrs.begin());
    std::copy(values.begin() + 1 + channels, values.begin() + needed, scas.begin());
    sink.onPoint(values[0], icrs, scas, line);
    return true;
}

// The lines of plain ASCII text without carriage returns, one after the other.
// While the channel count is 1 every line is traced, so it is simplified in
// place first; the fields of the simplified line are those of the line.
class AsciiLines
{
public:
    explicit AsciiLines(const PointTableSink &sink)
        : m_sink(sink)
    { }

    // One line, without its line feed; false once no later line can give
    // anything (a channel count of none or less).
    bool read(char *p, char *lineEnd)
    {
        ++m_line;
        if (m_channels == 1) {
            lineEnd = simplifyAsciiInPlace(p, lineEnd);
            const bool isHeader = isChannelHeader(p, lineEnd);
            if (m_sink.onTrace)
                m_sink.onTrace(QString::fromLatin1(p, int(lineEnd - p)), isHeader);
            if (isHeader) {
                m_channels = headerChannelCount(p, lineEnd);
                if (m_channels <= 0 && m_sink.onStoppingHeader) {
                    const auto [b, e] = headerValue(p, lineEnd);
                    m_sink.onStoppingHeader(m_line, QString::fromLatin1(b, int(e - b)));
                }
                return true;
            }
        }
        // The count is only looked for while it is 1, so none or less stays so.
        if (m_channels <= 0)
            return false;
        const char *first = skipAsciiSpace(p, lineEnd);
        if ((first == lineEnd || *first != '#')
            && readDataLine(first, lineEnd, m_channels, m_line, m_sink, m_values) && m_remarks) {
            m_remarks->firstPoint(m_channels);
            m_remarks = nullptr;
        }
        return true;
    }

    // Where the lines are also looked at for the remarks: the scan learns the
    // channel count of the first point.
    void setRemarks(PointTableRemarkScan *remarks) { m_remarks = remarks; }

private:
    const PointTableSink &m_sink;
    int m_channels = 1;
    int m_line = 0;
    std::vector<double> m_values;
    PointTableRemarkScan *m_remarks = nullptr;
};

// The whole file as plain ASCII text without carriage returns.
void readAsciiText(char *p, char *end, const PointTableSink &sink)
{
    AsciiLines lines(sink);
    while (p != end) {
        char *newline = static_cast<char *>(std::memchr(p, '\n', std::size_t(end - p)));
        char *lineEnd = newline ? newline : end;
        if (!lines.read(p, lineEnd))
            return;
        p = newline ? newline + 1 : end;
    }
}

// Whether the bytes can be read here rather than through the text stream. Besides
// non-ASCII text, a file ending in a carriage return is left to the stream: after a
// full buffer of text, a remainder of nothing but carriage returns makes it read one
// more, empty line, and where its buffers end is the stream's business.
bool readableAsBytes(const QByteArray &bytes)
{
    return !bytes.endsWith('\r') && readsAsPlainAscii(bytes);
}

void readAsciiBytes(QByteArray bytes, const PointTableSink &sink)
{
    removeCarriageReturns(bytes);
    if (sink.onSize)
        sink.onSize(bytes.count('\n') + 1, bytes.size());
    char *data = bytes.data();
    readAsciiText(data, data + bytes.size(), sink);
}

// Counted in byte counters over runs of 255 bytes, which the compiler adds
// sixteen at a time; std::count widens every byte to a 64-bit counter.
qint64 countLineFeeds(const char *p, const char *end)
{
    qint64 count = 0;
    while (p != end) {
        const std::ptrdiff_t n = std::min<std::ptrdiff_t>(end - p, 255);
        unsigned char run = 0;
        for (std::ptrdiff_t i = 0; i < n; ++i)
            run += p[i] == '\n';
        count += run;
        p += n;
    }
    return count;
}

// The first look at a file read in blocks: whether the fast reader may read it
// (readableAsBytes of the whole) and how many line feeds it holds; and key
// is told the text.
bool scanAsciiChunks(QFile &file, std::vector<char> &buffer, qint64 &lineFeeds, qint64 &bytes,
                     KeySearch &key)
{
    lineFeeds = 0;
    bytes = 0;
    char last = 0;
    qint64 n;
    while ((n = file.read(buffer.data(), qint64(buffer.size()))) > 0) {
        const QByteArray chunk = QByteArray::fromRawData(buffer.data(), int(n));
        if (!readsAsPlainAscii(chunk))
            return false;
        lineFeeds += countLineFeeds(buffer.data(), buffer.data() + n);
        bytes += n;
        last = buffer[size_t(n - 1)];
        key.feed(buffer.data(), n);
    }
    return n == 0 && last != '\r';
}

// One line of a file read in blocks, its carriage returns taken out as the
// whole-file reader takes them out before it splits the lines.
bool readChunkLine(AsciiLines &lines, char *begin, char *end)
{
    // Most lines have none; memchr looks for one many bytes at a time.
    char *cr = static_cast<char *>(std::memchr(begin, '\r', std::size_t(end - begin)));
    return lines.read(begin, cr ? std::remove(cr, end, '\r') : end);
}

// Reads plain ASCII text from file in blocks of buffer's size, a line that
// crosses a block boundary gathered in carry. The same lines as
// readAsciiBytes on the whole file. Where remarks is set, every line is also
// looked at as it is in the file (before the reader simplifies it or takes out
// its carriage returns), to the end of the file even once the reader is done.
void readAsciiChunks(QFile &file, std::vector<char> &buffer, const PointTableSink &sink,
                     PointTableRemarkScan *remarks)
{
    AsciiLines lines(sink);
    lines.setRemarks(remarks);
    bool reading = true;
    const auto line = [&](char *begin, char *end) {
        if (remarks)
            remarks->look(begin, end);
        if (reading)
            reading = readChunkLine(lines, begin, end);
        return reading || remarks;
    };
    std::vector<char> carry;
    qint64 n;
    while ((n = file.read(buffer.data(), qint64(buffer.size()))) > 0) {
        char *p = buffer.data();
        char *const end = p + n;
        while (p != end) {
            char *newline = static_cast<char *>(std::memchr(p, '\n', std::size_t(end - p)));
            if (!newline) {
                carry.insert(carry.end(), p, end);
                break;
            }
            bool more;
            if (carry.empty()) {
                more = line(p, newline);
            } else {
                carry.insert(carry.end(), p, newline);
                more = line(carry.data(), carry.data() + carry.size());
                carry.clear();
            }
            if (!more)
                return;
            p = newline + 1;
        }
    }
    if (remarks) {
        if (!carry.empty())
            remarks->look(carry.data(), carry.data() + carry.size());
        remarks->setComplete();
    }
    // A last line without a line feed, unless only carriage returns were left.
    const auto kept = std::remove(carry.begin(), carry.end(), '\r');
    if (reading && kept != carry.begin())
        lines.read(carry.data(), carry.data() + (kept - carry.begin()));
}

enum class ChunkRead { Read, NeedsStream, HoldsKey };

// The fast path for a regular file of plain ASCII text: nothing is read if
// the text stream has to read it, or if the text holds key.
ChunkRead readFileInChunks(QFile &file, const PointTableSink &sink, qint64 chunkSize,
                           const QByteArray &key)
{
    std::vector<char> buffer(size_t(std::max<qint64>(chunkSize, 1)));
    qint64 lineFeeds = 0;
    qint64 bytes = 0;
    KeySearch search(key);
    if (!scanAsciiChunks(file, buffer, lineFeeds, bytes, search) || !file.seek(0))
        return ChunkRead::NeedsStream;
    if (search.found())
        return ChunkRead::HoldsKey;
    if (sink.onSize)
        sink.onSize(lineFeeds + 1, bytes);
    readAsciiChunks(file, buffer, sink, bytes <= maxRemarkBytes ? sink.remarks : nullptr);
    return ChunkRead::Read;
}

// Reads the file at path, unless (with mayBeOther set) the fast path cannot
// say that it does not hold key.
OpenStatus readFile(const QString &path, const PointTableSink &sink, qint64 chunkSize,
                    const QByteArray &key, bool *mayBeOther)
{
    QFile file(path);
    const OpenStatus status = openMeasurementFile(file);
    if (!status.opened())
        return status;
    // As readMeasurementFile decides, but the text is read in blocks rather
    // than held whole: a table of a hundred thousand lines then costs its
    // columns of numbers and a block, not its bytes besides.
    if (!file.isSequential() && file.size() <= maxInMemorySize) {
        file.setTextModeEnabled(false);
        const ChunkRead read = readFileInChunks(file, sink, chunkSize, key);
        if (read == ChunkRead::Read)
            return status;
        if (mayBeOther) {
            *mayBeOther = true;
            return status;
        }
        file.setTextModeEnabled(true);
        if (!file.seek(0))
            return status;
    } else if (mayBeOther) {
        *mayBeOther = true;
        return status;
    }
    readPointTableReference(file, sink);
    return status;
}

} // namespace

OpenStatus readPointTableFile(const QString &path, const PointTableSink &sink, qint64 chunkSize)
{
    return readFile(path, sink, chunkSize, QByteArray(), nullptr);
}

OpenStatus readPointTableFileUnless(const QString &path, const QByteArray &key,
                                    const PointTableSink &sink, bool &mayBeOther,
                                    qint64 chunkSize)
{
    mayBeOther = false;
    return readFile(path, sink, chunkSize, key, &mayBeOther);
}

void readPointTableBytes(const QByteArray &bytes, const PointTableSink &sink)
{
    if (readableAsBytes(bytes)) {
        readAsciiBytes(bytes, sink);
        return;
    }
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    readPointTableReference(buffer, sink);
}

void readPointTableReference(QIODevice &device, const PointTableSink &sink)
{
    const QString key = QString::fromLatin1(channelHeaderKey).toUpper();
    int channels = 1;
    int lineNumber = 0;
    QTextStream in(&device);
    while (!in.atEnd()) {
        QString line = in.readLine().simplified();
        ++lineNumber;
        if (channels == 1) {
            const bool isHeader = line.left(headerKeyLength).toUpper() == key;
            if (sink.onTrace)
                sink.onTrace(line, isHeader);
            if (isHeader) {
                QString value = line.mid(headerKeyLength);
                const int hash = value.indexOf(QLatin1Char('#'));
                if (hash >= 0)
                    value.truncate(hash);
                channels = value.toInt(nullptr, 10);
                if (channels <= 0 && sink.onStoppingHeader)
                    sink.onStoppingHeader(lineNumber, value.trimmed());
                continue;
            }
        }
        if (line.startsWith(QLatin1Char('#')) || channels <= 0)
            continue;
        line.replace(QLatin1Char(','), QLatin1Char(' '));
        const QStringList fields = splitAtBlankRuns(line);
        if (fields.size() > 2 * qint64(channels)) {
            // An empty field (of a comma at either end) is no field that
            // failed, nor is a number too large for a double.
            bool allNumbers = true;
            const auto value = [&fields, &allNumbers](int i) {
                bool ok = false;
                const double v = fields.at(i).toDouble(&ok);
                allNumbers = allNumbers && (ok || v != 0.0 || fields.at(i).isEmpty());
                return v;
            };
            QVector<double> icrs(channels);
            QVector<double> scas(channels);
            const double i0 = value(0);
            for (int j = 0; j < channels; ++j) {
                icrs[j] = value(1 + j);
                scas[j] = value(1 + channels + j);
            }
            if (!allNumbers && sink.onPoint && sink.onNotNumber)
                sink.onNotNumber(lineNumber);
            if (sink.onPoint)
                sink.onPoint(i0, icrs, scas, lineNumber);
        }
    }
}
