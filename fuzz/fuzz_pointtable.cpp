// SPDX-License-Identifier: GPL-3.0-or-later
// Differential fuzzing of the point-table reader: the fast byte reader, and the
// reader of a file holding the same bytes, must report exactly the points,
// header-search lines and lines with fields that are not numbers of the text
// stream reader, in the same order.
#include "fuzzsupport.h"
#include "pointtable.h"
#include "tableremarks.h"

#include <QBuffer>
#include <QByteArray>
#include <QStringList>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

struct Event
{
    bool isPoint = false;
    double i0 = 0.0;
    QVector<double> icrs;
    QVector<double> scas;
    int lineNumber = 0;
    QString line;
    bool isHeader = false;
};

bool same(const Event &a, const Event &b)
{
    if (a.isPoint != b.isPoint)
        return false;
    if (a.isPoint)
        return a.lineNumber == b.lineNumber && sameDouble(a.i0, b.i0) && sameDoubles(a.icrs, b.icrs)
                && sameDoubles(a.scas, b.scas);
    return a.line == b.line && a.isHeader == b.isHeader;
}

QString describe(const Event &e)
{
    if (e.isPoint)
        return QStringLiteral("point i0 %1 icrs %2 scas %3 at line %4")
                .arg(show(e.i0), show(e.icrs), show(e.scas))
                .arg(e.lineNumber);
    return QStringLiteral("trace %1 \"%2\"").arg(e.isHeader ? QStringLiteral("header") : QStringLiteral("line"), e.line);
}

PointTableSink recorder(QVector<Event> &events)
{
    PointTableSink sink;
    sink.onPoint = [&events](double i0, const QVector<double> &icrs, const QVector<double> &scas,
                             int line) {
        Event e;
        e.isPoint = true;
        e.lineNumber = line;
        e.i0 = i0;
        e.icrs = icrs;
        e.scas = scas;
        events.append(e);
    };
    sink.onTrace = [&events](const QString &line, bool isHeader) {
        Event e;
        e.line = line;
        e.isHeader = isHeader;
        events.append(e);
    };
    // Which lines had fields that are not numbers, as a line of its own.
    sink.onNotNumber = [&events](int line) {
        Event e;
        e.line = QStringLiteral("\x01not a number at line %1").arg(line);
        events.append(e);
    };
    return sink;
}

void compare(const char *name, const QVector<Event> &events, const QVector<Event> &reference)
{
    const QString what = QLatin1String(name);
    const int common = qMin(events.size(), reference.size());
    for (int i = 0; i < common; ++i) {
        if (!same(events[i], reference[i]))
            fail("point-table reader differs from the reference",
                 QStringLiteral("event %1\n%2: %3\nreference: %4")
                         .arg(i)
                         .arg(what, describe(events[i]), describe(reference[i])));
    }
    if (events.size() != reference.size())
        fail("point-table reader differs from the reference",
             QStringLiteral("%1 gives %2 events, reference %3; first extra: %4")
                     .arg(what)
                     .arg(events.size())
                     .arg(reference.size())
                     .arg(describe(events.size() > common ? events[common] : reference[common])));
}

QString describe(const PointTableRemarks &r)
{
    return QStringLiteral("widest %1 wider %2 text %3 first text %4")
            .arg(r.widestLine)
            .arg(r.widerLines)
            .arg(r.textLines)
            .arg(r.firstTextLine);
}

// The remarks the reader gathers on its own pass, where it says it saw every
// line, are those of a separate look at the whole file with the channel count
// of its first point.
void compareRemarks(const QString &path, const QByteArray &bytes, const QVector<Event> &reference,
                    qint64 blockSize)
{
    PointTableRemarkScan scan;
    PointTableSink sink;
    sink.remarks = &scan;
    readPointTableFile(path, sink, blockSize);
    if (!scan.known())
        return;
    int channels = 1;
    for (const Event &e : reference) {
        if (e.isPoint) {
            channels = e.icrs.size();
            break;
        }
    }
    const PointTableRemarks got = scan.remarks();
    const PointTableRemarks want = pointTableRemarks(bytes, channels);
    if (got.widestLine != want.widestLine || got.widerLines != want.widerLines
        || got.textLines != want.textLines || got.firstTextLine != want.firstTextLine)
        fail("remarks of the read differ from a separate look",
             QStringLiteral("blocks of %1\nread: %2\nlook: %3")
                     .arg(blockSize)
                     .arg(describe(got), describe(want)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startApplication(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (std::size_t(1) << 24))
        return 0;
    QByteArray bytes = inputBytes(data, size);

    QVector<Event> fast;
    readPointTableBytes(bytes, recorder(fast));

    QVector<Event> reference;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    readPointTableReference(buffer, recorder(reference));

    compare("fast", fast, reference);

    QVector<Event> fromFile;
    const QString path = scratchFile(bytes);
    if (!readPointTableFile(path, recorder(fromFile)).opened())
        fail("the scratch file cannot be read", QString());
    compare("file", fromFile, reference);

    // The file reader reads in blocks; small ones, of a size the input picks,
    // put their boundaries everywhere.
    QVector<Event> inBlocks;
    const qint64 blockSize = 1 + (size ? data[size / 2] % 16 : 0);
    readPointTableFile(path, recorder(inBlocks), blockSize);
    compare("file in small blocks", inBlocks, reference);
    compareRemarks(path, bytes, reference, qint64(1) << 18);
    compareRemarks(path, bytes, reference, blockSize);

    // Every point carries exactly the channel count of the header in force.
    for (const Event &e : qAsConst(fast)) {
        if (e.isPoint && (e.icrs.size() != e.scas.size() || e.icrs.isEmpty()))
            fail("point with unequal or empty channel arrays", describe(e));
    }
    return 0;
}
