// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the two measurement file readers, against the plainest fast
// parse of the same bytes (the practical limit of a line-oriented text
// parser) and against the obvious QTextStream + regular expression reader;
// and of the whole batch estimation on the point table, against the same limit.

#include "benchdata.h"
#include "batchrunner.h"
#include "benchsupport.h"
#include "channelresult.h"
#include "deadtime.h"
#include "loader.h"
#include "pointset.h"
#include "pointtable.h"
#include "recipe.h"
#include "spectrumreader.h"
#include "tableremarks.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace {

struct Input
{
    QString path;
    QByteArray bytes;
    int channels = 0;
    int rows = 0;
    bool spectrum = true;
};

// Inputs are generated on first use so that a filtered run only pays for what
// it measures.
const Input &input(const std::string &name)
{
    static std::map<std::string, Input> cache;
    auto it = cache.find(name);
    if (it != cache.end())
        return it->second;
    Input in;
    if (name == "19x4096") {
        in.channels = 19, in.rows = 4096;
        in.bytes = benchdata::spectrumFile(19, 4096, benchdata::singleSpectrumI0,
                                           benchdata::spectrumSeed);
    } else if (name == "24x8192") {
        in.channels = 24, in.rows = 8192;
        in.bytes = benchdata::spectrumFile(24, 8192, benchdata::singleSpectrumI0,
                                           benchdata::spectrumSeed);
    } else {
        in.channels = 19, in.rows = 100000, in.spectrum = false;
        in.bytes = benchdata::pointTable(19, 100000, benchdata::tableSeed);
    }
    in.path = benchsupport::writeScratch(QString::fromStdString(name) + QStringLiteral(".dat"),
                                         in.bytes);
    return cache.emplace(name, in).first->second;
}

bool sameRecord(const SpectrumPoint &a, const SpectrumPoint &b)
{
    return a.ok == b.ok && a.i0 == b.i0 && a.icrs == b.icrs && a.scas == b.scas
        && a.roiLows == b.roiLows && a.roiHighs == b.roiHighs;
}

// A reader that is fast because it reads the wrong thing measures nothing: the
// record must be accepted, complete, and the same as the reference reader's.
bool checkSpectrum(benchmark::State &state, const Input &in, const SpectrumPoint &sp)
{
    SpectrumPoint ref;
    QBuffer buf;
    buf.setData(in.bytes);
    buf.open(QIODevice::ReadOnly | QIODevice::Text);
    readSpectrumReference(buf, ref);
    if (!sp.ok || sp.icrs.size() != in.channels || sp.scas.size() != in.channels) {
        state.SkipWithError("the generated spectrum file was not read completely");
        return false;
    }
    for (double s : sp.scas) {
        if (!(s > 0.0)) {
            state.SkipWithError("a channel window summed to nothing");
            return false;
        }
    }
    if (!sameRecord(sp, ref)) {
        state.SkipWithError("the reader and the reference reader disagree");
        return false;
    }
    return true;
}

void BM_ReadSpectrum(benchmark::State &state, std::string name)
{
    const Input &in = input(name);
    SpectrumPoint first;
    readSpectrumFile(in.path, first);
    if (!checkSpectrum(state, in, first))
        return;
    for (auto _ : state) {
        SpectrumPoint sp;
        readSpectrumFile(in.path, sp);
        benchmark::DoNotOptimize(sp.scas.constData());
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

void BM_ReadSpectrumBytes(benchmark::State &state, std::string name)
{
    const Input &in = input(name);
    SpectrumPoint first;
    readSpectrumBytes(in.bytes, first);
    if (!checkSpectrum(state, in, first))
        return;
    for (auto _ : state) {
        SpectrumPoint sp;
        readSpectrumBytes(in.bytes, sp);
        benchmark::DoNotOptimize(sp.scas.constData());
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

// Counts points and sums every value, so that nothing can be skipped.
struct TableTally
{
    long points = 0;
    int channels = -1;
    double sum = 0.0;
    PointTableSink sink()
    {
        PointTableSink s;
        s.onPoint = [this](double i0, const QVector<double> &icrs, const QVector<double> &scas,
                           int) {
            ++points;
            channels = icrs.size() == scas.size() ? icrs.size() : -2;
            sum += i0;
            for (double v : icrs)
                sum += v;
            for (double v : scas)
                sum += v;
        };
        s.onTrace = [](const QString &, bool) {};
        return s;
    }
};

bool checkTable(benchmark::State &state, const Input &in, const TableTally &t)
{
    if (t.points != in.rows || t.channels != in.channels) {
        state.SkipWithError("the generated point table was not read completely");
        return false;
    }
    return true;
}

void BM_ReadPointTable(benchmark::State &state, std::string name)
{
    const Input &in = input(name);
    TableTally first;
    readPointTableFile(in.path, first.sink());
    if (!checkTable(state, in, first))
        return;
    for (auto _ : state) {
        TableTally t;
        readPointTableFile(in.path, t.sink());
        benchmark::DoNotOptimize(t.sum);
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

void BM_ReadPointTableBytes(benchmark::State &state, std::string name)
{
    const Input &in = input(name);
    TableTally first;
    readPointTableBytes(in.bytes, first.sink());
    if (!checkTable(state, in, first))
        return;
    for (auto _ : state) {
        TableTally t;
        readPointTableBytes(in.bytes, t.sink());
        benchmark::DoNotOptimize(t.sum);
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

void BM_ParseLimit(benchmark::State &state, std::string name)
{
    const Input &in = input(name);
    const QByteArray path = QFile::encodeName(in.path);
    long fields = 0;
    benchsupport::parseLimit(path.constData(), fields);
    const long expected = long(in.rows) * (2 * in.channels + 1);
    if (fields < expected) {
        state.SkipWithError("the yardstick did not see every field");
        return;
    }
    for (auto _ : state) {
        long n = 0;
        benchmark::DoNotOptimize(benchsupport::parseLimit(path.constData(), n));
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

// What a first version written with the toolkit's conveniences would do:
// line by line through a text stream, simplify, split at "\\s+", toDouble.
double parseNaiveQt(const QString &path, long &fields)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1.0;
    QTextStream in(&f);
    const QRegularExpression blanks(QStringLiteral("\\s+"));
    double sum = 0.0;
    fields = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine().simplified();
        const QStringList parts = line.split(blanks);
        for (const QString &part : parts) {
            bool ok = false;
            const double v = part.toDouble(&ok);
            if (ok) {
                sum += v;
                ++fields;
            }
        }
    }
    return sum;
}

void BM_ParseNaiveQt(benchmark::State &state, std::string name)
{
    const Input &in = input(name);
    long fields = 0;
    parseNaiveQt(in.path, fields);
    if (fields < long(in.rows) * (2 * in.channels + 1)) {
        state.SkipWithError("the naive parser did not see every field");
        return;
    }
    for (auto _ : state) {
        long n = 0;
        benchmark::DoNotOptimize(parseNaiveQt(in.path, n));
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

// The batch command's work on a point table, output aside: load the file into
// the point set, estimate both dead times of every channel, and compute the
// standard errors and R^2 of every fit for the report.
void BM_BatchTable(benchmark::State &state, std::string name)
{
    const Input &in = input(name);
    const auto run = [&in](QVector<ChannelResult> &rows) {
        PointSet points;
        loadMeasurementFiles({ in.path }, points);
        const DeadTimes dt = estimateDeadTimes(points);
        rows = channelResults(points, dt);
        return points.size();
    };
    QVector<ChannelResult> rows;
    if (run(rows) != in.rows || rows.size() != in.channels
        || !(rows[0].tau0 > 0.0 && rows[0].tauStdErr > 0.0)) {
        state.SkipWithError("the batch did not estimate every channel of every line");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(rows));
        benchmark::DoNotOptimize(rows.constData());
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

// The whole batch command in process, argument parsing to the printed table
// (into a string), with the dead-time model given: the quadratic is the
// default report, compare adds both exact laws for both stages of every
// channel.
void BM_BatchCommand(benchmark::State &state, std::string model)
{
    const Input &in = input("19x100000");
    const QStringList args { QStringLiteral("ratelens-batch"), QStringLiteral("--model"),
                             QString::fromStdString(model), in.path };
    const auto run = [&args](QString &text) {
        text.clear();
        QString messages;
        QTextStream out(&text);
        QTextStream err(&messages);
        return runBatch(args, out, err);
    };
    QString text;
    if (run(text) != BatchOk || text.count(QLatin1Char('\n')) < in.channels + 1
        || text.contains(QLatin1String("failed"))) {
        state.SkipWithError("the batch command did not report every channel");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(text));
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

// The same numbers twice, 100,000 rows of 200 columns: I0, 99 ICRs, 99 SCAs
// and a counting time of 1 s. Once a point table of 99 channels (which passes
// over the last column), once a column file with names on its comment line.
struct WideInputs
{
    QString table;
    QString columns;
    qint64 bytes = 0;
};

const WideInputs &wideInputs()
{
    static WideInputs in;
    if (!in.table.isEmpty())
        return in;
    const QByteArray table = benchdata::pointTable(99, 100000, benchdata::tableSeed);
    QByteArray rows = table.mid(table.indexOf('\n') + 1);
    rows.replace("\n", " 1\n");
    QByteArray names("# I0");
    for (const char *kind : { " ICR", " OCR" }) {
        for (int n = 1; n <= 99; ++n)
            names += kind + QByteArray::number(n);
    }
    names += " time\n";
    in.table = benchsupport::writeScratch(QStringLiteral("wide_table.dat"),
                                          "# Channels : 99\n" + rows);
    in.columns = benchsupport::writeScratch(QStringLiteral("wide_columns.txt"), names + rows);
    in.bytes = rows.size();
    return in;
}

// Loading the wide point table into the point set, the path the recipe is
// measured against.
void BM_LoadWideTable(benchmark::State &state)
{
    const WideInputs &in = wideInputs();
    for (auto _ : state) {
        PointSet points;
        loadMeasurementFiles({ in.table }, points);
        if (points.size() != 100000 || points.chs() != 99) {
            state.SkipWithError("the table did not give 100000 points of 99 channels");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * in.bytes);
}

// The same numbers as a column file through a recipe that divides every
// count by the counting time, as the built-in recipes do.
void BM_LoadWideRecipe(benchmark::State &state)
{
    const WideInputs &in = wideInputs();
    const RecipeParse recipe = parseRecipe(QStringLiteral(
            "elements = 1-99\ni0 = I0 / time\nicr = ICR{n} / time\nsca = OCR{n} / time\n"));
    LoadOptions options;
    options.recipe = &recipe.recipe;
    for (auto _ : state) {
        PointSet points;
        const QVector<FileReport> r = loadMeasurementFiles({ in.columns }, points, {}, options);
        if (points.size() != 100000 || points.chs() != 99) {
            state.SkipWithError(qPrintable(QStringLiteral("the recipe did not give 100000 "
                                                          "points of 99 channels: ")
                                           + r.first().error));
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * in.bytes);
}

// The look a point-table load takes afterwards at what it passed over
// (fields beyond those used, text lines), over its first 64 MiB: part of
// BM_LoadWideTable.
void BM_PointTableRemarks(benchmark::State &state)
{
    const WideInputs &in = wideInputs();
    QFile file(in.table);
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot read the wide table");
        return;
    }
    const QByteArray bytes = file.readAll();
    for (auto _ : state) {
        const PointTableRemarks r = pointTableRemarks(bytes, 99);
        if (r.widerLines == 0) {
            state.SkipWithError("the remarks did not see the extra column");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void registerAll()
{
    using Fn = void (*)(benchmark::State &, std::string);
    const auto add = [](const char *family, Fn fn, const char *name) {
        benchmark::RegisterBenchmark((std::string(family) + "/" + name).c_str(), fn,
                                     std::string(name))
            ->Unit(benchmark::kMillisecond);
    };
    for (const char *name : { "19x4096", "24x8192" }) {
        add("BM_ReadSpectrum", BM_ReadSpectrum, name);
        add("BM_ReadSpectrumBytes", BM_ReadSpectrumBytes, name);
        add("BM_ParseLimit", BM_ParseLimit, name);
        add("BM_ParseNaiveQt", BM_ParseNaiveQt, name);
    }
    add("BM_ReadPointTable", BM_ReadPointTable, "19x100000");
    add("BM_ReadPointTableBytes", BM_ReadPointTableBytes, "19x100000");
    add("BM_ParseLimit", BM_ParseLimit, "19x100000");
    add("BM_ParseNaiveQt", BM_ParseNaiveQt, "19x100000");
    add("BM_BatchTable", BM_BatchTable, "19x100000");
    // The command fits the stages on every core: its processor time is that
    // of the whole process, not of the thread that times it.
    for (const char *model : { "quadratic", "compare" }) {
        benchmark::RegisterBenchmark((std::string("BM_BatchCommand/") + model).c_str(),
                                     BM_BatchCommand, std::string(model))
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
    }
    benchmark::RegisterBenchmark("BM_LoadWideTable/200x100000", BM_LoadWideTable)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LoadWideRecipe/200x100000", BM_LoadWideRecipe)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PointTableRemarks/200x100000", BM_PointTableRemarks)
            ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv)
{
    benchsupport::init(argc, argv);
    QCoreApplication app(argc, argv);
    registerAll();
    return benchsupport::run(argc, argv);
}
