// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the benchmark inputs into a folder, so that other programs (the
// Python comparison) read exactly the bytes the C++ benchmarks read:
//   spectrum-19x4096.dat, spectrum-24x8192.dat   one spectrum file each
//   table-19x100000.dat                           a point table
//   scan-19xP.dat for P = 10, 100, 1000, 10000    the plotted points

#include "benchdata.h"

#include <QDir>
#include <QString>

#include <cstdio>

namespace {

// The one argument is a folder; anything that looks like an option (--help
// too) is refused rather than taken as the name of a folder to fill with
// some 40 MB of inputs.
bool isUsage(int argc, char **argv)
{
    return argc == 2 && argv[1][0] != '\0' && argv[1][0] != '-';
}

} // namespace

int main(int argc, char **argv)
{
    if (!isUsage(argc, argv)) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    struct Output
    {
        QString name;
        QByteArray bytes;
    };
    QVector<Output> outputs;
    outputs.append({ QStringLiteral("spectrum-19x4096.dat"),
                     benchdata::spectrumFile(19, 4096, benchdata::singleSpectrumI0,
                                             benchdata::spectrumSeed) });
    outputs.append({ QStringLiteral("spectrum-24x8192.dat"),
                     benchdata::spectrumFile(24, 8192, benchdata::singleSpectrumI0,
                                             benchdata::spectrumSeed) });
    outputs.append({ QStringLiteral("table-19x100000.dat"),
                     benchdata::pointTable(19, 100000, benchdata::tableSeed) });
    for (int p : { 10, 100, 1000, 10000 }) {
        const QVector<MeasValues> points = benchdata::scanPoints(19, p, benchdata::scanSeed);
        outputs.append(
            { QStringLiteral("scan-19x%1.dat").arg(p), benchdata::formatPoints(points) });
    }
    for (const Output &o : outputs) {
        if (!benchdata::writeFile(dir + QLatin1Char('/') + o.name, o.bytes)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(o.name));
            return 1;
        }
    }
    return 0;
}
