// SPDX-License-Identifier: GPL-3.0-or-later
// ratelens-batch correct on a long scan: a million rows of an 8-element
// detector, about 150 MB of text, corrected from ICR and from SCA, against one
// from_chars pass over the same file. The correction runs on two threads, so
// wall time is what counts; the peak resident memory of the process after
// the corrections (before the yardstick reads the whole file) is reported as
// the counter peak_rss_mb.
#include "benchsupport.h"
#include "scancorrection.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr int elements = 8;

int rowsWanted()
{
    const QByteArray rows = qgetenv("RATELENS_BENCH_CORRECT_ROWS");
    return rows.isEmpty() ? 1000000 : rows.toInt();
}

// time, I0, then ICR{n} and OCR{n} of every element as counts over 0.1 s of a
// paralyzable detector, from true rates between 10 and 400 kcps.
QString generateScan()
{
    const QString path = benchsupport::scratchDir() + QStringLiteral("/scan.dat");
    std::FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        std::abort();
    std::fputs("# time I0", f);
    for (int e = 1; e <= elements; ++e)
        std::fprintf(f, " ICR%d OCR%d", e, e);
    std::fputc('\n', f);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> rate(1e4, 4e5);
    const int rows = rowsWanted();
    for (int r = 0; r < rows; ++r) {
        const double n = rate(rng);
        std::fprintf(f, "0.1 %.6g", n * 0.05);
        for (int e = 0; e < elements; ++e) {
            const double tau0 = (1.0 + 0.02 * e) * 1e-6;
            const double icr = n * std::exp(-n * tau0);
            const double sca = 0.5 * icr * std::exp(-icr * 2e-6);
            std::fprintf(f, " %.0f %.0f", 0.1 * icr, 0.1 * sca);
        }
        std::fputc('\n', f);
    }
    std::fclose(f);
    return path;
}

const QString &scan()
{
    static const QString path = generateScan();
    return path;
}

ScanCorrectionSetup setup(CorrectionSource source)
{
    ScanCorrectionSetup s;
    s.model = DeadTimeModel::Paralyzable;
    s.source = source;
    for (int e = 0; e < elements; ++e)
        s.deadTimes.append({ (1.0 + 0.02 * e) * 1e-6, 1e-8, 2e-6, 2e-8, 0.5, 1e-3, -1e-11 });
    return s;
}

double peakRssMb()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;
}

void BM_Correct(benchmark::State &state, CorrectionSource source)
{
    const QString output = benchsupport::scratchDir() + QStringLiteral("/scan_dtc.tsv");
    const ScanCorrectionSetup s = setup(source);
    qint64 rows = 0;
    for (auto _ : state) {
        const ScanCorrectionReport r = correctScanFile(s, scan(), output);
        if (!r.ok()) {
            state.SkipWithError(qPrintable(r.error));
            return;
        }
        rows = r.rows;
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(scan()).size());
    state.counters["rows"] = double(rows);
    state.counters["output_mb"] = double(QFileInfo(output).size()) / 1e6;
    state.counters["peak_rss_mb"] = peakRssMb();
}

void BM_CorrectParseLimit(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(scan());
    for (auto _ : state) {
        long fields = 0;
        benchmark::DoNotOptimize(benchsupport::parseLimit(path.constData(), fields));
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(scan()).size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchsupport::init(argc, argv);
    // Registered in this order so that the memory figure is taken before the
    // yardstick holds the whole file.
    benchmark::RegisterBenchmark("BM_CorrectFromIcr", BM_Correct, CorrectionSource::Icr)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_CorrectFromSca", BM_Correct, CorrectionSource::Sca)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_CorrectParseLimit", BM_CorrectParseLimit)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    return benchsupport::run(argc, argv);
}
