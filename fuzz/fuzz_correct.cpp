// SPDX-License-Identifier: GPL-3.0-or-later
// The dead-time file reader and the streaming scan correction: the input is a
// dead-time file, then a line "%%", then a scan. Nothing may crash or hang; a
// file that reads must list its channels in order; a correction that succeeds
// writes one line of names and one line per row read, with the scan's own
// values unchanged, and every point is either corrected (finite k >= 0 with
// its error no larger than k, or an unknown error) or flagged with nan.
#include "columnfile.h"
#include "deadtimesfile.h"
#include "fuzzsupport.h"
#include "scancorrection.h"

#include <QBuffer>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace fuzzsupport;

namespace {

void checkPoints(const ScanCorrectionSetup &setup)
{
    for (const ElementDeadTimes &dt : setup.deadTimes) {
        for (CorrectionSource source : { CorrectionSource::Icr, CorrectionSource::Sca }) {
            if (!deadTimesProblem(setup.model, dt, source).isEmpty())
                continue;
            for (double rate : { 0.0, 1e3, 1e5, 3e5, 1e6, 1e9 }) {
                const Correction c = correctPoint(setup.model, dt, source, rate, 0.5 * rate);
                const bool flagged = c.flag != CorrectionFlag::None;
                if (flagged && !std::isnan(c.k))
                    fail("a flagged point has a number", QString::number(c.k));
                if (!flagged && !(std::isfinite(c.k) && c.k >= 0 && !(c.kStdErr > c.k)))
                    fail("a corrected point has no usable k", QString::number(c.k));
            }
        }
    }
}

bool sameValue(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

// The scan's own columns come out as the values that were read, whether
// copied as text or written again.
void checkOwnValues(const QByteArray &scan, const QByteArray &written)
{
    QByteArray scanBytes = scan;
    QBuffer in(&scanBytes);
    in.open(QIODevice::ReadOnly);
    const ColumnHeader header = readColumnHeader(in);
    ColumnReader reader(in, header);
    ColumnBlock block;
    reader.readBlock(1 << 20, block);
    const QList<QByteArray> lines = written.split('\n');
    for (int r = 0; r < block.rows(); ++r) {
        const QList<QByteArray> fields = lines.value(r + 1).split('\t');
        for (size_t c = 0; c < block.columns.size(); ++c) {
            const double read = std::strtod(fields.value(int(c)).constData(), nullptr);
            if (!sameValue(read, block.columns[c][size_t(r)]))
                fail("an own value changed", QString::fromUtf8(lines.value(r + 1).left(400)));
        }
    }
}

void correctOver(const ScanCorrectionSetup &setup, const QByteArray &scan)
{
    QByteArray scanBytes = scan;
    QBuffer in(&scanBytes);
    in.open(QIODevice::ReadOnly);
    QByteArray written;
    QBuffer out(&written);
    out.open(QIODevice::WriteOnly);
    const ScanCorrectionReport r = correctScan(setup, in, out);
    if (r.ok() && written.count('\n') != r.rows + 1)
        fail("the output's lines are not the rows read", QString::fromUtf8(written.left(400)));
    if (r.ok())
        checkOwnValues(scan, written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = inputBytes(data, size);
    const int split = bytes.indexOf("\n%%\n");
    const QByteArray file = split < 0 ? bytes : bytes.left(split);
    const DeadTimesFile dt = readDeadTimesFile(file);
    if (!dt.error.isEmpty())
        return 0;
    ScanCorrectionSetup setup;
    setup.model = dt.model;
    // The correction's own threads would make the coverage depend on how they
    // interleave, and the regression run must take the same steps every time.
    setup.oneThread = true;
    for (int j = 0; j < dt.channels.size(); ++j) {
        if (dt.channels[j].channel != j)
            fail("channels out of order", QString::number(j));
        setup.deadTimes.append(dt.channels[j].deadTimes);
    }
    checkPoints(setup);
    if (split >= 0)
        correctOver(setup, bytes.mid(split + 4));
    return 0;
}
