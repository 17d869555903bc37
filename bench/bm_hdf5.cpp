// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a beamline scan from HDF5 against parsing the same numbers as text:
// 100,000 points of a 64-element detector, 194 columns (I0, the time and per
// element the output counts, the dead-time factor and the clock), the 2-D
// datasets chunked by 1024 rows as data-acquisition systems write them.
//   BM_Hdf5Columns     what the programs do: the helper process, the pipe, the decoding
//   BM_Hdf5InProcess   the HDF5 library's part alone
//   BM_TextTable       the point-table reader on the same numbers as text
//   BM_TextParseLimit  the plainest fast parse of that text (std::from_chars)
#include "benchsupport.h"
#include "h5scan.h"
#include "hdf5columns.h"
#include "hdf5reader.h"
#include "pointtable.h"

#include <QCoreApplication>
#include <QFile>

#include <charconv>
#include <string>

namespace {

constexpr int points = 100000;
constexpr int elements = 64;

struct Input
{
    QString h5;
    QString text;
    qint64 textBytes = 0;
    std::vector<Hdf5Request> requests;
    h5scan::Scan scan;
};

std::vector<Hdf5Request> scanRequests()
{
    std::vector<Hdf5Request> r
        = { { QStringLiteral("I0"), QStringLiteral("/entry/scaler/I0"), -1 },
            { QStringLiteral("T"), QStringLiteral("/entry/scaler/TSCALER"), -1 } };
    for (const char *what : { "OutputCounts", "DTFactor", "Clock" }) {
        for (int j = 0; j < elements; ++j)
            r.push_back({ QStringLiteral("%1_%2").arg(QLatin1String(what)).arg(j),
                          QStringLiteral("/entry/xspress3/") + QLatin1String(what), j });
    }
    return r;
}

// The same numbers as a point table of 97 channels: the 194 columns and I0
// once more, each number in its shortest exact form.
QByteArray asText(const h5scan::Scan &s)
{
    QByteArray out = "# Channels : 97\n";
    char buf[32];
    const auto add = [&out, &buf](double v, char end) {
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        *r.ptr = end;
        out.append(buf, int(r.ptr - buf + 1));
    };
    for (int p = 0; p < points; ++p) {
        add(s.i0[p], ' ');
        add(s.tscaler[p], ' ');
        for (const auto *c : { &s.outputCounts, &s.dtFactor, &s.clock }) {
            for (int j = 0; j < elements; ++j)
                add((*c)[j][p], ' ');
        }
        add(s.i0[p], '\n');
    }
    return out;
}

const Input &input()
{
    static Input in;
    if (!in.h5.isEmpty())
        return in;
    h5scan::Spec spec;
    spec.elements = elements, spec.points = points, spec.chunkRows = 1024;
    in.scan = h5scan::simulate(spec);
    in.h5 = benchsupport::scratchDir() + QStringLiteral("/scan.h5");
    if (!h5scan::writeScan(in.h5.toStdString(), spec, in.scan))
        std::exit(2);
    const QByteArray text = asText(in.scan);
    in.textBytes = text.size();
    in.text = benchsupport::writeScratch(QStringLiteral("scan.dat"), text);
    in.requests = scanRequests();
    return in;
}

bool complete(benchmark::State &state, const std::vector<std::vector<double>> &columns)
{
    const Input &in = input();
    if (columns.size() != in.requests.size() || columns[0] != in.scan.i0
        || columns.back() != in.scan.clock.back()) {
        state.SkipWithError("the columns read are not the columns written");
        return false;
    }
    return true;
}

void BM_Hdf5Columns(benchmark::State &state)
{
    const Input &in = input();
    Hdf5Columns first = readHdf5Columns(in.h5, in.requests);
    if (!first.ok()) {
        state.SkipWithError(first.error.toStdString().c_str());
        return;
    }
    if (!complete(state, first.columns))
        return;
    for (auto _ : state) {
        Hdf5Columns c = readHdf5Columns(in.h5, in.requests);
        benchmark::DoNotOptimize(c.columns.data());
    }
    state.SetItemsProcessed(state.iterations() * points * qint64(in.requests.size()));
}

void BM_Hdf5InProcess(benchmark::State &state)
{
    const Input &in = input();
    Hdf5Job job;
    job.file = in.h5;
    job.requests = in.requests;
    job.maxValues = quint64(1) << 27;
    if (!complete(state, readHdf5InProcess(job).columns))
        return;
    for (auto _ : state) {
        Hdf5Reply r = readHdf5InProcess(job);
        benchmark::DoNotOptimize(r.columns.data());
    }
    state.SetItemsProcessed(state.iterations() * points * qint64(in.requests.size()));
}

void BM_TextTable(benchmark::State &state)
{
    const Input &in = input();
    const auto read = [&in]() {
        long count = 0;
        PointTableSink sink;
        sink.onPoint = [&count](double, const QVector<double> &icrs, const QVector<double> &, int) {
            count += 1 + 2 * icrs.size();
        };
        sink.onTrace = [](const QString &, bool) {};
        readPointTableFile(in.text, sink);
        return count;
    };
    if (read() != long(points) * 195) {
        state.SkipWithError("the point-table reader did not read every number");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(read());
    state.SetItemsProcessed(state.iterations() * points * 195);
    state.SetBytesProcessed(state.iterations() * in.textBytes);
}

void BM_TextParseLimit(benchmark::State &state)
{
    const Input &in = input();
    const auto parse = [&in]() {
        QFile f(in.text);
        if (!f.open(QIODevice::ReadOnly))
            return 0.0;
        const QByteArray text = f.readAll();
        const char *p = text.constData(), *end = p + text.size();
        double sum = 0.0;
        while (p < end) {
            double v = 0.0;
            const auto r = std::from_chars(p, end, v);
            sum += v;
            p = r.ptr + 1;
        }
        return sum;
    };
    for (auto _ : state)
        benchmark::DoNotOptimize(parse());
    state.SetItemsProcessed(state.iterations() * points * 195);
    state.SetBytesProcessed(state.iterations() * in.textBytes);
}

} // namespace

BENCHMARK(BM_Hdf5Columns)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Hdf5InProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextParseLimit)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    benchsupport::init(argc, argv);
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("RATELENS_H5READ"))
        qputenv("RATELENS_H5READ", RATELENS_H5READ_BUILT);
    return benchsupport::run(argc, argv);
}
