// SPDX-License-Identifier: GPL-3.0-or-later
// ratelens-batch correct on a long scan: a million rows of an 8-element
// detector with a fluorescence line each, about 160 MB of text, corrected from ICR and from SCA, against one
// from_chars pass over the same file. The correction runs on two threads, so
// wall time is what counts; the peak resident memory of the process after
// the corrections (before the yardstick reads the whole file) is reported as
// the counter peak_rss_mb. Beside it a wide scan of 10,000 elements.
#include "benchsupport.h"
#include "scanfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int elements = 8;

int rowsWanted()
{
    const QByteArray rows = qgetenv("RATELENS_BENCH_CORRECT_ROWS");
    return rows.isEmpty() ? 1000000 : rows.toInt();
}

// time, I0, then ICR{n}, OCR{n} and a fluorescence line Fe_Ka_mca{n} of
// every element as counts over 1 s of a paralyzable detector, from true rates
// between 10 and 400 kcps: about 160 bytes a row for 8 elements.
void writeScan(const QString &path, int elementCount, int rows)
{
    std::FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        std::abort();
    std::fputs("# time I0", f);
    for (int e = 1; e <= elementCount; ++e)
        std::fprintf(f, " ICR%d OCR%d", e, e);
    for (int e = 1; e <= elementCount; ++e)
        std::fprintf(f, " Fe_Ka_mca%d", e);
    std::fputc('\n', f);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> rate(1e4, 4e5);
    std::vector<double> rois(size_t(elementCount), 0.0);
    for (int r = 0; r < rows; ++r) {
        const double n = rate(rng);
        std::fprintf(f, "1 %.3f", n * 0.05);
        for (int e = 0; e < elementCount; ++e) {
            const double tau0 = (1.0 + 0.02 * (e % 8)) * 1e-6;
            const double icr = n * std::exp(-n * tau0);
            const double sca = 0.5 * icr * std::exp(-icr * 2e-6);
            rois[size_t(e)] = 0.3 * sca;
            std::fprintf(f, " %.0f %.0f", icr, sca);
        }
        for (double roi : rois)
            std::fprintf(f, " %.0f", roi);
        std::fputc('\n', f);
    }
    std::fclose(f);
}

// The long scan of 8 elements. RATELENS_BENCH_CORRECT_SCAN names a file to
// keep (and reuse) instead of a scratch one.
QString generateScan()
{
    QString path = qEnvironmentVariable("RATELENS_BENCH_CORRECT_SCAN");
    if (!path.isEmpty() && QFileInfo::exists(path))
        return path;
    if (path.isEmpty())
        path = benchsupport::scratchDir() + QStringLiteral("/scan.dat");
    writeScan(path, elements, rowsWanted());
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
    s.roiPatterns = QStringList { QStringLiteral("Fe_Ka_mca{n}") };
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

// Processor time of every thread of the process so far, in ms.
double processCpuMs()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

void BM_Correct(benchmark::State &state, CorrectionSource source)
{
    const QString output = benchsupport::scratchDir() + QStringLiteral("/scan_dtc.tsv");
    const ScanCorrectionSetup s = setup(source);
    qint64 rows = 0;
    scan();
    const double cpuBefore = processCpuMs();
    for (auto _ : state) {
        // A first correction, as of a new scan: the previous iteration's
        // output is not there to be freed when the new one replaces it.
        state.PauseTiming();
        QFile::remove(output);
        state.ResumeTiming();
        const ScanCorrectionReport r = correctScanFile(s, scan(), output);
        if (!r.ok()) {
            state.SkipWithError(qPrintable(r.error));
            return;
        }
        rows = r.rows;
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(scan()).size());
    state.counters["rows"] = double(rows);
    state.counters["process_cpu_ms"] = (processCpuMs() - cpuBefore) / double(state.iterations());
    state.counters["output_mb"] = double(QFileInfo(output).size()) / 1e6;
    state.counters["peak_rss_mb"] = peakRssMb();
}

// A detector of 10,000 elements, 200 rows (30,002 columns, 37 MB): what
// is done once per column or element, before the first row is corrected,
// must not grow with the square of their number.
void BM_CorrectManyElements(benchmark::State &state)
{
    static const QString wide = [] {
        const QString path = benchsupport::scratchDir() + QStringLiteral("/wide.dat");
        writeScan(path, 10000, 200);
        return path;
    }();
    const QString output = benchsupport::scratchDir() + QStringLiteral("/wide_dtc.tsv");
    ScanCorrectionSetup s = setup(CorrectionSource::Icr);
    s.oneForAll = true;
    const double cpuBefore = processCpuMs();
    for (auto _ : state) {
        const ScanCorrectionReport r = correctScanFile(s, wide, output);
        if (!r.ok()) {
            state.SkipWithError(qPrintable(r.error));
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(wide).size());
    state.counters["process_cpu_ms"] = (processCpuMs() - cpuBefore) / double(state.iterations());
    state.counters["peak_rss_mb"] = peakRssMb();
}

void BM_CorrectParseLimit(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(scan());
    const double cpuBefore = processCpuMs();
    for (auto _ : state) {
        long fields = 0;
        benchmark::DoNotOptimize(benchsupport::parseLimit(path.constData(), fields));
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(scan()).size());
    state.counters["process_cpu_ms"] = (processCpuMs() - cpuBefore) / double(state.iterations());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchsupport::init(argc, argv);
    // Registered in this order so that the memory figures are taken before the
    // yardstick holds the whole file, and the long scan's before the wide one's.
    benchmark::RegisterBenchmark("BM_CorrectFromIcr", BM_Correct, CorrectionSource::Icr)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_CorrectFromSca", BM_Correct, CorrectionSource::Sca)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_CorrectManyElements", BM_CorrectManyElements)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_CorrectParseLimit", BM_CorrectParseLimit)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    return benchsupport::run(argc, argv);
}
