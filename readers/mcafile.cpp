// SPDX-License-Identifier: GPL-3.0-or-later
#include "mcafile.h"

#include <QIODevice>
#include <QRegularExpression>

#include <cmath>

namespace {

// More than any MCA has: keeps a crafted header from asking for gigabytes.
constexpr int maxElements = 1000;
constexpr int maxBins = 1 << 20;

bool parseValues(const QString &text, std::vector<double> &values)
{
    values.clear();
    for (const QString &f : splitColumnFields(text)) {
        bool ok = false;
        values.push_back(f.toDouble(&ok));
        if (!ok)
            return false;
    }
    return true;
}

// name="value" (description)
bool parseEnvironment(const QString &text, McaFile &mca)
{
    static const QRegularExpression entry(QStringLiteral("^\\s*([^=\\s]+)\\s*=\\s*\"([^\"]*)\""));
    const QRegularExpressionMatch m = entry.match(text);
    if (!m.hasMatch())
        return false;
    bool ok = false;
    const double v = m.captured(2).trimmed().toDouble(&ok);
    if (ok)
        mca.environment.insert(m.captured(1), v);
    else
        mca.textEnvironment.insert(m.captured(1), m.captured(2));
    return true;
}

QString headerLine(const QString &key, const QString &value, McaFile &mca, int &channels)
{
    bool ok = true;
    if (key == QLatin1String("ELEMENTS")) {
        mca.elements = value.toInt(&ok);
        ok = ok && mca.elements >= 1 && mca.elements <= maxElements;
    } else if (key == QLatin1String("CHANNELS")) {
        channels = value.toInt(&ok);
        ok = ok && channels >= 1 && channels <= maxBins;
    } else if (key == QLatin1String("REAL_TIME")) {
        ok = parseValues(value, mca.realTimes);
    } else if (key == QLatin1String("LIVE_TIME")) {
        ok = parseValues(value, mca.liveTimes);
    } else if (key == QLatin1String("ENVIRONMENT")) {
        ok = parseEnvironment(value, mca);
    }
    return ok ? QString() : QStringLiteral("%1: \"%2\" cannot be read").arg(key, value.left(60));
}

QString checkHeader(const McaFile &mca)
{
    if (mca.elements < 1)
        return QStringLiteral("no ELEMENTS: line before DATA:");
    if (int(mca.realTimes.size()) != mca.elements || int(mca.liveTimes.size()) != mca.elements)
        return QStringLiteral("REAL_TIME: and LIVE_TIME: need %1 values each, one per element")
            .arg(mca.elements);
    return QString();
}

QString readRows(QIODevice &device, int &lineNumber, McaFile &mca)
{
    mca.counts.assign(size_t(mca.elements), {});
    std::vector<double> row;
    while (!device.atEnd()) {
        const QString line = QString::fromLatin1(device.readLine(1 << 20)).trimmed();
        ++lineNumber;
        if (line.isEmpty())
            continue;
        if (!parseValues(line, row))
            return QStringLiteral("line %1: a field is not a number").arg(lineNumber);
        if (int(row.size()) != mca.elements)
            return QStringLiteral("line %1: %2 fields where the file has %3 elements")
                .arg(lineNumber)
                .arg(row.size())
                .arg(mca.elements);
        if (int(mca.counts.front().size()) >= maxBins)
            return QStringLiteral("more than %1 bins").arg(maxBins);
        for (int e = 0; e < mca.elements; ++e)
            mca.counts[size_t(e)].push_back(row[size_t(e)]);
    }
    return QString();
}

// Fewer rows than CHANNELS: says is a file cut short; more is a header that
// does not describe its data, which is not called truncation.
QString checkRowCount(int rows, int channels)
{
    if (channels <= 0 || rows == channels)
        return QString();
    const QString counts = QStringLiteral("%1 rows of data where CHANNELS: says %2")
                                   .arg(rows)
                                   .arg(channels);
    return rows < channels ? QStringLiteral("truncated: ") + counts : counts;
}

} // namespace

McaFile readMcaFile(QIODevice &device)
{
    McaFile mca;
    int lineNumber = 0;
    int channels = -1;
    static const QRegularExpression keyLine(QStringLiteral("^([A-Z_]+):\\s*(.*)$"));
    while (!device.atEnd()) {
        const QString line = QString::fromLatin1(device.readLine(1 << 20)).trimmed();
        ++lineNumber;
        const QRegularExpressionMatch m = keyLine.match(line);
        if (!m.hasMatch())
            continue;
        if (m.captured(1) == QLatin1String("DATA")) {
            mca.error = checkHeader(mca);
            if (mca.ok())
                mca.error = readRows(device, lineNumber, mca);
            if (mca.ok())
                mca.error = checkRowCount(int(mca.counts.front().size()), channels);
            return mca;
        }
        const QString e = headerLine(m.captured(1), m.captured(2), mca, channels);
        if (!e.isEmpty()) {
            mca.error = QStringLiteral("line %1: %2").arg(lineNumber).arg(e);
            return mca;
        }
    }
    mca.error = QStringLiteral("no DATA: line (truncated file?)");
    return mca;
}

namespace {

// One row of named values: the environment, and per element its window
// counts and times.
void mcaColumns(const McaFile &mca, const Recipe &r, QStringList &names, ColumnBlock &block)
{
    for (auto it = mca.environment.cbegin(); it != mca.environment.cend(); ++it) {
        names.append(it.key());
        block.columns.push_back({ it.value() });
    }
    for (int e = 0; e < mca.elements; ++e) {
        const std::vector<double> &c = mca.counts[size_t(e)];
        double sum = 0.0;
        for (int bin = r.windowLow; bin <= r.windowHigh && bin < int(c.size()); ++bin)
            sum += c[size_t(bin)];
        const int n = e + 1;
        names << QStringLiteral("counts%1").arg(n) << QStringLiteral("real_time%1").arg(n)
              << QStringLiteral("live_time%1").arg(n);
        block.columns.push_back({ sum });
        block.columns.push_back({ mca.realTimes[size_t(e)] });
        block.columns.push_back({ mca.liveTimes[size_t(e)] });
    }
    block.lines = { 0 };
}

QString checkRecipe(const Recipe *recipe, const McaFile &mca)
{
    if (!recipe || !recipe->hasWindow())
        return QStringLiteral("an MCA file needs a recipe with window = first-last bin and i0");
    const int bins = int(mca.counts.front().size());
    if (recipe->windowHigh >= bins)
        return QStringLiteral("the window %1-%2 goes beyond the %3 bins of the spectra")
            .arg(recipe->windowLow)
            .arg(recipe->windowHigh)
            .arg(bins);
    return QString();
}

// An unknown name that is an ENVIRONMENT entry whose value is not a number
// is known to the file: say what is wrong with its value instead.
QString compileError(const CompiledRecipe &compiled, const McaFile &mca)
{
    for (const QString &name : compiled.unknownNames()) {
        const auto text = mca.textEnvironment.constFind(name);
        if (text != mca.textEnvironment.cend())
            return QStringLiteral("ENVIRONMENT: %1=\"%2\" is not a number")
                    .arg(name, text.value().left(60));
    }
    return compiled.error();
}

} // namespace

Recipe mcaRecipe(const Recipe &recipe, int elements)
{
    Recipe r = recipe;
    if (!r.elementsGiven) {
        r.elements.clear();
        for (int n = 1; n <= elements; ++n)
            r.elements.push_back(n);
    }
    if (r.icr.isEmpty())
        r.icr = QStringLiteral("counts{n} / live_time{n}");
    if (r.sca.isEmpty())
        r.sca = QStringLiteral("counts{n} / real_time{n}");
    return r;
}

void mcaPreview(const McaFile &mca, QStringList &names, std::vector<double> &values)
{
    Recipe whole;
    whole.windowLow = 0;
    whole.windowHigh = mca.counts.empty() ? -1 : int(mca.counts.front().size()) - 1;
    ColumnBlock block;
    mcaColumns(mca, whole, names, block);
    for (const std::vector<double> &c : block.columns)
        values.push_back(c.front());
}

ScanRead readMcaScan(QIODevice &device, const Recipe *recipe)
{
    const McaFile mca = readMcaFile(device);
    if (!mca.ok()) {
        ScanRead scan;
        scan.error = mca.error;
        return scan;
    }
    return mcaScan(mca, recipe);
}

ScanRead mcaScan(const McaFile &mca, const Recipe *recipe)
{
    ScanRead scan;
    scan.error = checkRecipe(recipe, mca);
    scan.needsRecipe = !recipe || !recipe->hasWindow();
    if (!scan.ok())
        return scan;
    scan.recipe = mcaRecipe(*recipe, mca.elements);
    ColumnBlock block;
    mcaColumns(mca, scan.recipe, scan.columnNames, block);
    CompiledRecipe compiled;
    if (!compiled.compile(scan.recipe, scan.columnNames))
        scan.error = compileError(compiled, mca);
    else if (!appendScanPoints(compiled, block, scan.points, scan.error))
        scan.points.clear();
    return scan;
}
