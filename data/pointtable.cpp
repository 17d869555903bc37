// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointtable.h"

#include "asciitext.h"
#include "measfile.h"
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

// The channel count of a header line (simplified).
int headerChannelCount(const char *begin, const char *end)
{
    const char *value = begin + headerKeyLength;
    if (const void *hash = std::memchr(value, '#', std::size_t(end - value)))
        end = static_cast<const char *>(hash);
    // The value may carry blanks around it; the toolkit trims them.
    const char *b = skipAsciiSpace(value, end);
    const char *e = end;
    while (e != b && isAsciiSpace(e[-1]))
        --e;
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

// Whether a field that converted to 0 was a number, a zero, rather than
// something else.
bool isNumber(const char *begin, const char *end)
{
    bool ok = false;
    QString::fromLatin1(begin, int(end - begin)).toDouble(&ok);
    return ok;
}

// Beyond this many fields a line is counted before its fields are kept, so that a
// channel count no line reaches costs no memory.
constexpr qint64 countFirstAbove = 4096;

void readDataLine(const char *begin, const char *end, int channels, int line,
                  const PointTableSink &sink, std::vector<double> &values)
{
    const qint64 needed = 2 * qint64(channels) + 1;
    if (needed > countFirstAbove) {
        qint64 seen = 0;
        const qint64 count = forEachField(begin, end, [&](const char *, const char *) {
            return ++seen < needed;
        });
        if (count < needed)
            return;
    }

    // The same walk as forEachField, converting each field on the way.
    const char *p = skipAsciiSpace(begin, end);
    if (p == end) // one empty field, never enough
        return;
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
            allNumbers = isNumber(field, p);
        values.push_back(value);
        commaLast = false;
    }
    if (commaLast && qint64(values.size()) < needed)
        values.push_back(0.0);
    if (qint64(values.size()) < needed || !sink.onPoint)
        return;
    if (!allNumbers)
        sink.onNotNumber(line);

    QVector<double> icrs(channels);
    QVector<double> scas(channels);
    std::copy(values.begin() + 1, values.begin() + 1 + channels, icrs.begin());
    std::copy(values.begin() + 1 + channels, values.begin() + needed, scas.begin());
    sink.onPoint(values[0], icrs, scas, line);
}

// The whole file as plain ASCII text without carriage returns. While the channel count
// is 1 every line is traced, so it is simplified in place first; the fields of the
// simplified line are those of the line.
void readAsciiText(char *p, char *end, const PointTableSink &sink)
{
    int channels = 1;
    int line = 0;
    std::vector<double> values;
    while (p != end) {
        ++line;
        char *newline = static_cast<char *>(std::memchr(p, '\n', std::size_t(end - p)));
        char *lineEnd = newline ? newline : end;
        char *next = newline ? newline + 1 : end;
        if (channels == 1) {
            lineEnd = simplifyAsciiInPlace(p, lineEnd);
            const bool isHeader = isChannelHeader(p, lineEnd);
            if (sink.onTrace)
                sink.onTrace(QString::fromLatin1(p, int(lineEnd - p)), isHeader);
            if (isHeader) {
                channels = headerChannelCount(p, lineEnd);
                p = next;
                continue;
            }
        }
        // The count is only looked for while it is 1, so none or less stays so.
        if (channels <= 0)
            return;
        const char *first = skipAsciiSpace(p, lineEnd);
        if (first == lineEnd || *first != '#')
            readDataLine(first, lineEnd, channels, line, sink, values);
        p = next;
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
    char *data = bytes.data();
    readAsciiText(data, data + bytes.size(), sink);
}

} // namespace

OpenStatus readPointTableFile(const QString &path, const PointTableSink &sink)
{
    QFile file(path);
    const OpenStatus status = openMeasurementFile(file);
    if (!status.opened())
        return status;
    const auto readBytes = [&sink](QByteArray &&bytes) {
        if (!readableAsBytes(bytes))
            return false;
        readAsciiBytes(std::move(bytes), sink);
        return true;
    };
    const auto readStream = [&sink](QIODevice &device) { readPointTableReference(device, sink); };
    readMeasurementFile(file, readBytes, readStream);
    return status;
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
