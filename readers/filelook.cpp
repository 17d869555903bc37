// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelook.h"

#include "singlespectrum.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A JSON document larger than this is no dead-time file; it is left to the
// text readers, which read it in bounded memory.
constexpr qint64 maxJsonBytes = qint64(64) << 20;
// A line longer than this is cut where comment lines are looked for.
constexpr qint64 maxCommentLine = qint64(1) << 16;
// The scans listed in a message.
constexpr int listedScans = 12;

bool isChannelHeader(const QByteArray &simplified)
{
    // As the point-table reader tells it: the first 12 characters of the
    // simplified line, compared in upper case.
    return simplified.left(12).toUpper() == "# CHANNELS :";
}

bool isSpectrumChannelLine(const QByteArray &simplified)
{
    return simplified.startsWith("# MCA Ch Info :");
}

bool isFieldSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f';
}

// The fields of a row of numbers (its first field a number), split as the
// column reader splits them; 0 for any other line.
int numericRowFields(const QByteArray &line)
{
    int fields = 0;
    int i = 0;
    const int n = line.size();
    while (true) {
        while (i < n && isFieldSeparator(line.at(i)))
            ++i;
        if (i == n)
            return fields;
        const int begin = i;
        while (i < n && !isFieldSeparator(line.at(i)))
            ++i;
        if (fields == 0) {
            bool ok = false;
            line.mid(begin, i - begin).toDouble(&ok);
            if (!ok)
                return 0;
        }
        ++fields;
    }
}

bool isSpecScanLine(const QByteArray &line)
{
    return line.size() > 3 && line.startsWith("#S ") && line.at(3) >= '0' && line.at(3) <= '9';
}

// What the first bytes of a text file say.
struct HeadLook
{
    bool native = false; // a channel header or a spectrum's channel line
    bool scanLine = false; // "#S n"
    bool labelLine = false; // "#L"
    int widest = 0;
    int widestLine = 0;
};

HeadLook lookAtHead(const QByteArray &head, bool whole)
{
    HeadLook h;
    int lineNumber = 0;
    qsizetype pos = 0;
    while (pos < head.size()) {
        qsizetype nl = head.indexOf('\n', pos);
        // A last line cut by the end of the head is not judged.
        if (nl < 0 && !whole)
            break;
        if (nl < 0)
            nl = head.size();
        const QByteArray line = head.mid(pos, nl - pos);
        pos = nl + 1;
        ++lineNumber;
        const QByteArray simplified = line.simplified();
        if (simplified.startsWith('#')) {
            // A channel header or a spectrum's channel line decides.
            if (isChannelHeader(simplified) || isSpectrumChannelLine(simplified)) {
                h.native = true;
                return h;
            }
            h.scanLine = h.scanLine || isSpecScanLine(line);
            h.labelLine = h.labelLine || line.startsWith("#L ") || line.startsWith("#L\t");
            continue;
        }
        const int fields = numericRowFields(simplified);
        if (fields > h.widest) {
            h.widest = fields;
            h.widestLine = lineNumber;
        }
    }
    return h;
}

// Whether a comment line from the device's position on is a channel header
// or a spectrum's channel line.
bool nativeLineFurtherOn(QIODevice &device)
{
    while (!device.atEnd()) {
        QByteArray line = device.readLine(maxCommentLine);
        if (line.isEmpty())
            break;
        const QByteArray simplified = line.simplified();
        if (simplified.startsWith('#')
            && (isChannelHeader(simplified) || isSpectrumChannelLine(simplified)))
            return true;
        // The rest of a line longer than the limit.
        while (!line.endsWith('\n') && !device.atEnd())
            line = device.readLine(maxCommentLine);
    }
    return false;
}

QString scanList(const QVector<SpecScan> &scans)
{
    QStringList items;
    for (int k = 0; k < scans.size() && k < listedScans; ++k) {
        const SpecScan &s = scans.at(k);
        items << (s.command.isEmpty()
                      ? QString::number(s.number)
                      : QStringLiteral("%1 (%2)").arg(s.number).arg(s.command.left(40)));
    }
    if (scans.size() > listedScans)
        items << QStringLiteral("...");
    return items.join(QStringLiteral(", "));
}

} // namespace

bool looksBinary(const QByteArray &head)
{
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")
        || head.startsWith(QByteArray("\x00\x00\xFE\xFF", 4)))
        return false;
    int controls = 0;
    for (const char c : head) {
        const uchar u = uchar(c);
        if (u == 0)
            return true;
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f' && u != '\v')
            ++controls;
    }
    // Text has a stray control character at most; binary numbers are full of them.
    return controls > 8 && controls * 20 > head.size();
}

JsonLook lookAtJson(QIODevice &device)
{
    if (!device.seek(0))
        return JsonLook::NotJson;
    QByteArray start = device.peek(4096);
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    const QByteArray trimmed = start.trimmed();
    if (!trimmed.startsWith('{') && !trimmed.startsWith('['))
        return JsonLook::NotJson;
    if (device.size() > maxJsonBytes)
        return JsonLook::NotJson;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(device.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return JsonLook::NotJson;
    if (doc.isObject()
        && doc.object().value(QLatin1String("format")).toString()
            == QLatin1String("ratelens-dead-times"))
        return JsonLook::DeadTimes;
    return JsonLook::Other;
}

bool looksLikeSpec(const QByteArray &head)
{
    const HeadLook h = lookAtHead(head, true);
    return h.scanLine && h.labelLine;
}

QVector<SpecScan> specScans(QIODevice &device)
{
    QVector<SpecScan> scans;
    if (!device.seek(0))
        return scans;
    int lineNumber = 0;
    bool lineStart = true;
    while (!device.atEnd()) {
        const qint64 offset = device.pos();
        const QByteArray line = device.readLine(maxCommentLine);
        if (line.isEmpty())
            break;
        if (lineStart) {
            ++lineNumber;
            if (isSpecScanLine(line)) {
                if (!scans.isEmpty())
                    scans.last().end = offset;
                const QByteArray rest = line.mid(3).trimmed();
                const int blank = rest.indexOf(' ');
                SpecScan s;
                s.number = rest.left(blank < 0 ? rest.size() : blank).toInt();
                s.command
                    = blank < 0 ? QString() : QString::fromUtf8(rest.mid(blank + 1)).simplified();
                s.line = lineNumber;
                s.begin = offset;
                scans.append(s);
            }
        }
        lineStart = line.endsWith('\n');
    }
    if (!scans.isEmpty())
        scans.last().end = device.pos();
    return scans;
}

const SpecScan *chooseSpecScan(const QVector<SpecScan> &scans, int wanted, QString *error)
{
    auto tr = [](const char *text) { return QCoreApplication::translate("Recordings", text); };
    if (wanted <= 0) {
        if (scans.size() == 1)
            return &scans.first();
        *error = tr("a SPEC file of %1 scans: %2; choose one by its number (scan = N in a "
                    "recipe, or --scan N)")
                     .arg(scans.size())
                     .arg(scanList(scans));
        return nullptr;
    }
    const SpecScan *found = nullptr;
    for (const SpecScan &s : scans) {
        if (s.number != wanted)
            continue;
        if (found) {
            *error = tr("scan %1 is there twice, lines %2 and %3; its scans are %4")
                         .arg(wanted)
                         .arg(found->line)
                         .arg(s.line)
                         .arg(scanList(scans));
            return nullptr;
        }
        found = &s;
    }
    if (!found)
        *error = scans.isEmpty()
            ? tr("scan %1 asked for, but the file has no \"#S\" scan lines").arg(wanted)
            : tr("no scan %1 in the file; its scans are %2").arg(wanted).arg(scanList(scans));
    return found;
}

TextLook lookAtText(QIODevice &device)
{
    TextLook look;
    if (!device.seek(0))
        return look;
    const QByteArray head = device.read(textLookBytes);
    const HeadLook h = lookAtHead(head, device.atEnd());
    look.fields = h.widest;
    look.row = h.widestLine;
    if (h.native)
        return look;
    if (h.scanLine && h.labelLine) {
        look.kind = TextLook::Spec;
        look.scans = specScans(device);
        return look;
    }
    // Rows of two numbers give no point of a point table; with a real and a
    // live time above them they are a spectrum.
    if (h.widest == 2 && looksLikeSingleSpectrum(head)) {
        look.kind = TextLook::SingleSpectrum;
        return look;
    }
    if (h.widest <= 3 || nativeLineFurtherOn(device))
        return look;
    look.kind = TextLook::Columns;
    return look;
}

QString textLookDescription(const TextLook &look)
{
    if (look.kind == TextLook::Spec)
        return QCoreApplication::translate("Recordings", "a SPEC file of %1 scans")
            .arg(look.scans.size());
    return QCoreApplication::translate("Recordings",
                                       "a column file of %1 fields per row (line %2) without a "
                                       "\"# Channels :\" header")
        .arg(look.fields)
        .arg(look.row);
}
