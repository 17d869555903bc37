// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostilefiles.h"

#include "ameasp.h"
#include "body.h"

#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QTextStream>

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace hostile {

namespace {

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 17);
}

QString exact(double v)
{
    return QString::number(v, 'g', 17);
}

QString exactList(const QVector<double> &values)
{
    QStringList parts;
    for (double v : values)
        parts.append(exact(v));
    return parts.join(QLatin1Char(' '));
}

QString debugText(const char *label, const QString &value)
{
    QString text;
    QDebug(&text) << label << value;
    if (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

qint64 statusField(const char *name)
{
    // Files under /proc report a size of 0: read them to the end, not by size.
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(name) + ':';
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(key)) {
            const QList<QByteArray> parts = line.mid(key.size()).simplified().split(' ');
            return parts.value(0).toLongLong() * 1024; // the value is in kB
        }
    }
    return -1;
}

} // namespace

QByteArray spectrumText(double i0, const QVector<double> &icrs, const QVector<double> &scas)
{
    QByteArray text = "# XRF MCA dump\n# I0 : " + number(i0) + "\n";
    for (double icr : icrs)
        text += "# MCA Ch Info : SDD 5.0 0.0 1.0 1.0 " + number(icr) + " 1 2\n";
    for (int bin = 1; bin <= 2; ++bin) {
        text += QByteArray::number(bin);
        for (double sca : scas)
            text += " 0.1 " + number(sca / 2);
        text += '\n';
    }
    return text;
}

QByteArray utf16(const QString &text, bool bigEndian, bool byteOrderMark)
{
    QByteArray out;
    const auto put = [&out, bigEndian](ushort u) {
        const char hi = char(u >> 8), lo = char(u & 0xff);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    };
    if (byteOrderMark)
        put(0xfeff);
    for (const QChar c : text)
        put(c.unicode());
    return out;
}

QByteArray randomBytes(int size, quint32 seed, const QByteArray &skip)
{
    QByteArray out;
    out.reserve(size);
    quint32 state = seed ? seed : 1;
    while (out.size() < size) {
        // xorshift32: the same bytes on every machine.
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const char c = char(state >> 24);
        if (!skip.contains(c))
            out += c;
    }
    return out;
}

bool writeLongLineTable(const QString &path, qint64 lineBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray start = "# Channels : 2\n5000 4000 4100 3500 3600";
    if (file.write(start) != start.size())
        return false;
    const QByteArray chunk = QByteArray(" 7").repeated(1 << 19);
    qint64 written = start.size();
    while (written < lineBytes) {
        const qint64 n = qMin<qint64>(chunk.size(), (lineBytes - written) & ~qint64(1));
        if (n <= 0)
            break;
        if (file.write(chunk.constData(), n) != n)
            return false;
        written += n;
    }
    const QByteArray end = "\n6000 4800 4900 4200 4300\n";
    return file.write(end) == end.size() && file.flush();
}

bool writeManyChannelLines(const QString &path, int count, int rows)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray head = "# I0 : 250\n";
    const QByteArray line = "# MCA Ch Info : a b c d e 52.5 100 200\n";
    QByteArray block = line.repeated(4096);
    if (file.write(head) != head.size())
        return false;
    for (int left = count; left > 0;) {
        const int lines = qMin(left, 4096);
        const qint64 n = qint64(lines) * line.size();
        if (file.write(block.constData(), n) != n)
            return false;
        left -= lines;
    }
    // Rows all too short for so many channels; all but the first two lie
    // outside the window.
    QByteArray text = "150 0.75 12 0.75 15\n105 0.52 3\n";
    for (int bin = 1000; bin < 1000 + rows - 2; ++bin) {
        text += QByteArray::number(bin) + " 0.5 1 0.5 2\n";
        if (text.size() > (1 << 20)) {
            if (file.write(text) != text.size())
                return false;
            text.clear();
        }
    }
    return file.write(text) == text.size() && file.flush();
}

bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

qint64 residentBytes()
{
    return statusField("VmRSS");
}

qint64 peakResidentBytes()
{
    return statusField("VmHWM");
}

qint64 liveHeapBytes()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#else
    return -1;
#endif
}

bool resetPeakResident()
{
    // Writing 5 to clear_refs sets the peak back to the current size.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1 && clear.flush();
}

void loadBatch(Body &body, const QStringList &paths)
{
    emit body.openFileDialog()->filesSelected(paths);
}

bool clickClear(Body &body)
{
    QPushButton *clear = body.findChild<QPushButton *>(QStringLiteral("Clear"));
    if (!clear)
        return false;
    QTest::mouseClick(clear, Qt::LeftButton);
    return true;
}

QString pointText(double i0, const QVector<double> &icrs, const QVector<double> &scas)
{
    return exact(i0) + QStringLiteral(" | ") + exactList(icrs) + QStringLiteral(" | ")
            + exactList(scas);
}

QStringList pointTexts(const Body &body)
{
    // The point set every view reads; a panel is made only once its row is
    // in view.
    QStringList texts;
    const PointSet &points = body.measSet().points;
    for (int p = 0; p < points.size(); ++p) {
        const MeasValues point = points.at(p);
        texts.append(pointText(point.i0, point.icrs, point.scas));
    }
    return texts;
}

QStringList traceDebugLines(const QStringList &lines, const QVector<bool> &headers)
{
    QStringList out;
    for (int i = 0; i < lines.size(); ++i) {
        out.append(debugText("LINE", lines[i]));
        out.append(debugText("ID", QStringLiteral("# Channels :")));
        out.append(QStringLiteral("bool ")
                   + (headers.value(i) ? QStringLiteral("true") : QStringLiteral("false")));
    }
    return out;
}

QString cannotOpenLine(const QString &path)
{
    return debugText("Cannot open", path);
}

QStringList readerDebugLines(const QStringList &captured)
{
    QStringList out;
    for (const QString &line : captured) {
        if (line.startsWith(QLatin1String("LINE ")) || line.startsWith(QLatin1String("ID "))
            || line.startsWith(QLatin1String("bool ")) || line.startsWith(QLatin1String("Cannot open")))
            out.append(line);
    }
    return out;
}

} // namespace hostile
