// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrumreader.h"

#include "asciitext.h"
#include "keysearch.h"
#include "measfile.h"
#include "textfields.h"
#include "textnumbers.h"

#include <QBuffer>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

const char *const spectrumKey = "MCA";

namespace {

const char i0Key[] = "# I0 : ";
const char channelKey[] = "# MCA Ch Info : ";

// The channels known so far. The reader keeps the four arrays equally long; a record
// handed in otherwise is still never indexed beyond its shortest array.
int channelCount(const SpectrumPoint &sp)
{
    return std::min({ sp.icrs.size(), sp.scas.size(), sp.roiLows.size(), sp.roiHighs.size() });
}

bool startsWith(const std::string &line, const char *key, std::size_t keyLength)
{
    return line.size() >= keyLength && line.compare(0, keyLength, key) == 0;
}

// A header line (it starts with '#') of plain ASCII text: the I0 line and the channel
// information lines matter, every other header is a comment.
void readHeaderLine(const char *begin, const char *end, SpectrumPoint &sp, std::string &line)
{
    simplifyAscii(begin, end, line);
    const bool isI0 = startsWith(line, i0Key, sizeof(i0Key) - 1);
    const bool isChannel = !isI0 && startsWith(line, channelKey, sizeof(channelKey) - 1);
    if (!isI0 && !isChannel)
        return;

    // Both keys end in ": ", so the value starts right after the key; the line is
    // simplified, so the value needs no further trimming.
    const std::size_t keyLength = isI0 ? sizeof(i0Key) - 1 : sizeof(channelKey) - 1;
    const char *value = line.data() + keyLength;
    const char *valueEnd = line.data() + line.size();
    if (isI0) {
        sp.i0 = latin1ToDouble(value, valueEnd);
        return;
    }

    // Items 5 to 7 are read; item 8 only tells where item 7 ends.
    const char *items[9];
    int count = 0;
    for (const char *p = value; count < 9;) {
        items[count++] = p;
        const char *blank = static_cast<const char *>(std::memchr(p, ' ', valueEnd - p));
        if (!blank)
            break;
        p = blank + 1;
    }
    if (count <= 7)
        return;
    const char *item7End = count == 9 ? items[8] - 1 : valueEnd;
    sp.icrs.append(latin1ToDouble(items[5], items[6] - 1));
    sp.roiLows.append(latin1ToInt(items[6], items[7] - 1));
    sp.roiHighs.append(latin1ToInt(items[7], item7End));
    sp.scas.append(0.0);
}

struct Token
{
    const char *begin;
    const char *end;
};

// A spectrum row of plain ASCII text, begin at its first non-blank character. Only
// the bin number is converted first: most bins lie in no window, and such a row
// changes nothing whatever else it holds.
void readRow(const char *begin, const char *end, SpectrumPoint &sp, std::vector<Token> &tokens)
{
    const int n = channelCount(sp);
    if (n == 0)
        return;
    // More than 2n fields, one character each at least with a blank between, take
    // 4n + 1 characters: a shorter row is no use whatever its bin, and rejecting it
    // before the windows are searched keeps files of very many channels linear.
    if (end - begin < 4 * qint64(n) + 1)
        return;
    const char *p = skipToAsciiSpace(begin, end);
    const int bin = latin1ToInt(begin, p);
    const double *lows = sp.roiLows.constData();
    const double *highs = sp.roiHighs.constData();
    int j = 0;
    while (j < n && !(lows[j] <= bin && bin <= highs[j]))
        ++j;
    if (j == n)
        return;

    // The row is used only with more than 2n fields, so field 2n must exist.
    const std::size_t needed = std::size_t(2) * std::size_t(n) + 1;
    tokens.clear();
    tokens.push_back(Token { begin, p });
    p = skipAsciiSpace(p, end);
    while (p != end && tokens.size() < needed) {
        const char *word = p;
        p = skipToAsciiSpace(p, end);
        tokens.push_back(Token { word, p });
        p = skipAsciiSpace(p, end);
    }
    if (tokens.size() < needed)
        return;

    double *scas = sp.scas.data();
    for (; j < n; ++j) {
        if (lows[j] <= bin && bin <= highs[j]) {
            const Token &t = tokens[std::size_t(2) * std::size_t(j) + 2];
            scas[j] += latin1ToDouble(t.begin, t.end);
        }
    }
}

// The whole file as plain ASCII text without carriage returns.
void readAsciiText(const char *p, const char *end, SpectrumPoint &sp)
{
    std::string line;
    std::vector<Token> tokens;
    while (p != end) {
        const char *newline = static_cast<const char *>(std::memchr(p, '\n', end - p));
        const char *lineEnd = newline ? newline : end;
        const char *first = skipAsciiSpace(p, lineEnd);
        // A blank line is a row of one empty field: used only without channels, when
        // it has nothing to add to.
        if (first != lineEnd) {
            if (*first == '#')
                readHeaderLine(first, lineEnd, sp, line);
            else
                readRow(first, lineEnd, sp, tokens);
        }
        p = newline ? newline + 1 : end;
    }
}

// A spectrum file gives a point only with a positive I0 and its channels.
void decideUsable(SpectrumPoint &sp)
{
    sp.ok = sp.i0 > 0 && !sp.icrs.isEmpty() && !sp.scas.isEmpty();
}

// Plain ASCII is read here on bytes; anything else goes through the text stream.
// (A file ending in carriage returns can make the stream read one more, empty line,
// depending on where its buffers end; an empty line is a row that changes nothing.)
void readAsciiBytes(QByteArray bytes, SpectrumPoint &sp)
{
    removeCarriageReturns(bytes);
    readAsciiText(bytes.constData(), bytes.constData() + bytes.size(), sp);
    decideUsable(sp);
}

} // namespace

bool startsWithKey(const QString &line, const QString &key)
{
    return line.leftRef(key.size()) == key;
}

bool mayBeSpectrum(QIODevice &device)
{
    constexpr qint64 blockSize = qint64(1) << 18;
    // FF FE starts UTF-16 LE and UTF-32 LE, FE FF UTF-16 BE, 00 00 FE FF UTF-32 BE.
    const QByteArray head = device.peek(4);
    if (head.startsWith("\xff\xfe") || head.startsWith("\xfe\xff")
        || head == QByteArray("\0\0\xfe\xff", 4))
        return true;
    KeySearch search(spectrumKey);
    std::vector<char> buffer(static_cast<std::size_t>(blockSize));
    for (;;) {
        const qint64 got = device.read(buffer.data(), blockSize);
        if (got <= 0)
            return search.found();
        search.feed(buffer.data(), got);
        if (search.found())
            return true;
    }
}

bool mayBeSpectrumFile(const QString &path)
{
    QFile file(path);
    if (!openMeasurementFile(file).opened())
        return true;
    file.setTextModeEnabled(false);
    return mayBeSpectrum(file);
}

OpenStatus readSpectrumFile(const QString &path, SpectrumPoint &sp)
{
    QFile file(path);
    const OpenStatus status = openMeasurementFile(file);
    if (!status.opened())
        return status;
    const auto readBytes = [&sp](QByteArray &&bytes) {
        if (!readsAsPlainAscii(bytes))
            return false;
        readAsciiBytes(std::move(bytes), sp);
        return true;
    };
    const auto readStream = [&sp](QIODevice &device) { readSpectrumReference(device, sp); };
    if (!readMeasurementFile(file, readBytes, readStream))
        decideUsable(sp);
    return status;
}

void readSpectrumBytes(const QByteArray &bytes, SpectrumPoint &sp)
{
    if (readsAsPlainAscii(bytes)) {
        readAsciiBytes(bytes, sp);
        return;
    }
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    readSpectrumReference(buffer, sp);
}

void readSpectrumReference(QIODevice &device, SpectrumPoint &sp)
{
    const QString i0Line = QString::fromLatin1(i0Key);
    const QString channelLine = QString::fromLatin1(channelKey);
    QString value;
    QStringList items;
    QTextStream in(&device);
    while (!in.atEnd()) {
        const QString line = in.readLine().simplified();
        if (!line.isEmpty() && line.at(0) == QLatin1Char('#')) {
            const int colon = line.indexOf(QLatin1Char(':'));
            if (colon >= 0) {
                value = line.mid(colon + 1).simplified();
                items = splitAtBlankRuns(value);
            }
            if (startsWithKey(line, i0Line))
                sp.i0 = value.toDouble();
            if (startsWithKey(line, channelLine) && items.size() > 7) {
                sp.icrs.append(items.at(5).toDouble());
                sp.roiLows.append(items.at(6).toInt(nullptr, 10));
                sp.roiHighs.append(items.at(7).toInt(nullptr, 10));
                sp.scas.append(0.0);
            }
        } else {
            const QStringList fields = splitAtBlankRuns(line);
            const int n = channelCount(sp);
            if (fields.size() > 2 * qint64(n)) {
                const int bin = fields.at(0).toInt(nullptr, 10);
                for (int j = 0; j < n; ++j) {
                    if (sp.roiLows.at(j) <= bin && bin <= sp.roiHighs.at(j))
                        sp.scas[j] += fields.at(2 * j + 2).toDouble();
                }
            }
        }
    }
    decideUsable(sp);
}
