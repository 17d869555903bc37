// SPDX-License-Identifier: GPL-3.0-or-later
#include "scancorrection.h"

#include "builtinrecipes.h"
#include "columnfile.h"
#include "decimaltext.h"
#include "hdf5columns.h"
#include "hdf5scancorrection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// One block on its way from the reading thread to the writing one.
struct Item
{
    ColumnBlock rows;
    std::vector<ElementRates> rates;
    std::vector<std::vector<Correction>> corrections; // per element, per row
    QString error;
    bool end = false;
};

// Two blocks in flight are enough to keep both threads busy; more would
// only hold more of the scan in memory.
class BlockQueue
{
public:
    void push(Item item)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_items.size() < 2 || m_closed; });
        if (m_closed)
            return;
        m_items.push_back(std::move(item));
        m_changed.notify_all();
    }
    Item pop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_items.empty(); });
        Item item = std::move(m_items.front());
        m_items.pop_front();
        m_changed.notify_all();
        return item;
    }
    // The consumer gives up: the producer's next push returns at once.
    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_items.clear();
        m_changed.notify_all();
    }
    bool closed()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closed;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_items;
    bool m_closed = false;
};

// Everything fixed for a scan once its header is read.
struct Plan
{
    CompiledRecipe recipe;
    ColumnHeader header;
    CorrectionSource source = CorrectionSource::Sca;
    std::vector<int> elements;
    std::vector<std::vector<int>> roiColumns; // per element, column indices
    QStringList outputNames;
};

int columnIndex(const QStringList &names, const QString &name)
{
    const int exact = names.indexOf(name);
    if (exact >= 0)
        return exact;
    for (int c = 0; c < names.size(); ++c) {
        if (names.at(c).compare(name, Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}

QString planRois(const ScanCorrectionSetup &setup, Plan &plan)
{
    const QStringList &names = plan.header.names;
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        std::vector<int> columns;
        QStringList roiNames;
        for (const QString &pattern : setup.roiPatterns) {
            const QString name = expandElement(pattern, plan.elements[i], int(i));
            const int c = columnIndex(names, name);
            if (c < 0)
                return QStringLiteral("no column %1 for --roi %2").arg(name, pattern);
            columns.push_back(c);
            roiNames.append(names.at(c));
        }
        plan.roiColumns.push_back(columns);
        plan.outputNames += correctionColumnNames(plan.elements[i], roiNames);
    }
    return QString();
}

const ElementDeadTimes &deadTimesOf(const ScanCorrectionSetup &setup, size_t element)
{
    return setup.deadTimes[setup.oneForAll ? 0 : int(element)];
}

QString checkDeadTimes(const ScanCorrectionSetup &setup, const Plan &plan)
{
    const int elements = int(plan.elements.size());
    if (setup.deadTimes.isEmpty() || (!setup.oneForAll && setup.deadTimes.size() < elements))
        return QStringLiteral("the dead times cover %1 channel(s), the scan has %2 elements")
                .arg(setup.deadTimes.size())
                .arg(elements);
    for (int i = 0; i < elements; ++i) {
        const QString problem = deadTimesProblem(setup.model, deadTimesOf(setup, size_t(i)), plan.source);
        if (!problem.isEmpty())
            return QStringLiteral("element %1 (channel %2): %3")
                    .arg(plan.elements[size_t(i)])
                    .arg(i)
                    .arg(problem);
    }
    return QString();
}

QString planColumns(const ScanCorrectionSetup &setup, Plan &plan, ScanCorrectionReport &report)
{
    std::optional<Recipe> recipe = setup.recipe;
    if (!recipe)
        recipe = builtinRecipe(plan.header.names);
    if (!recipe)
        return QStringLiteral("no built-in recipe fits the columns; give one with --recipe");
    report.recipeOrigin = recipe->origin;
    if (!plan.recipe.compile(*recipe, plan.header.names))
        return plan.recipe.error();
    plan.elements = plan.recipe.elementNumbers();
    plan.source = setup.source.value_or(recipe->icr.trimmed().isEmpty() ? CorrectionSource::Sca
                                                                        : CorrectionSource::Icr);
    if (plan.source == CorrectionSource::Icr && recipe->icr.trimmed().isEmpty())
        return QStringLiteral("the recipe gives no ICR to correct from; use --from sca");
    plan.outputNames = plan.header.names;
    const QString problem = checkDeadTimes(setup, plan);
    return problem.isEmpty() ? planRois(setup, plan) : problem;
}

QString makePlan(const ScanCorrectionSetup &setup, QIODevice &in, Plan &plan,
                 ScanCorrectionReport &report)
{
    if (looksLikeHdf5(in.peek(8)))
        return QStringLiteral("an HDF5 scan is corrected from its file");
    plan.header = readColumnHeader(in);
    if (!plan.header.ok())
        return plan.header.error;
    return planColumns(setup, plan, report);
}

// Fills a block with the next rows: false at the end of the scan, or with
// the error set.
using NextBlock = std::function<bool(ColumnBlock &, QString &)>;

void correctItem(const ScanCorrectionSetup &setup, const Plan &plan, Item &item)
{
    item.corrections.resize(plan.elements.size());
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const ElementRates &r = item.rates[i];
        std::vector<Correction> &out = item.corrections[i];
        out.resize(r.sca.size());
        for (size_t p = 0; p < r.sca.size(); ++p) {
            const double icr = r.icr.empty() ? 0.0 : r.icr[p];
            out[p] = correctPoint(setup.model, deadTimesOf(setup, i), plan.source, icr, r.sca[p]);
        }
    }
}

// Reads, evaluates and corrects blocks until the scan ends, fails, or the
// writer gives up.
void produce(const ScanCorrectionSetup &setup, const Plan &plan, const NextBlock &next,
             BlockQueue &queue)
{
    while (!queue.closed()) {
        Item item;
        if (!next(item.rows, item.error)) {
            item.end = true;
        } else {
            RecipeRowError rowError;
            if (!plan.recipe.evaluate(item.rows, item.rates, &rowError))
                item.error = rowErrorText(rowError);
            else
                correctItem(setup, plan, item);
        }
        const bool last = item.end || !item.error.isEmpty();
        queue.push(std::move(item));
        if (last)
            return;
    }
}

// The scan's own values are written as the shortest text that reads back as
// the same double; computed ones with digits enough for their precision:
// rates and factors to 10 significant digits (5e-10 relative, far below any
// dead time's uncertainty), standard errors to 3. The output is then about
// twice the input, not six times, and is written at disk speed.
constexpr int exactDigits = 0;
constexpr int valueDigits = 10;
constexpr int errorDigits = 3;

char *writeNumber(char *out, double v, int digits = exactDigits)
{
    return digits == exactDigits ? writeExact(out, v) : writeSignificant(out, v, digits);
}

// One row: the scan's own values, then each element's correction.
char *formatRow(const Plan &plan, const Item &item, size_t r, char *p)
{
    const auto &columns = item.rows.columns;
    for (size_t c = 0; c < columns.size(); ++c) {
        if (c > 0)
            *p++ = '\t';
        p = writeNumber(p, columns[c][r]);
    }
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const Correction &k = item.corrections[i][r];
        *p++ = '\t';
        p = writeNumber(p, k.nTrue, valueDigits);
        *p++ = '\t';
        p = writeNumber(p, k.k, valueDigits);
        *p++ = '\t';
        p = writeNumber(p, k.kStdErr, errorDigits);
        *p++ = '\t';
        *p++ = char('0' + int(k.flag));
        for (int c : plan.roiColumns[i]) {
            *p++ = '\t';
            p = writeNumber(p, columns[size_t(c)][r] * k.k, valueDigits);
        }
    }
    *p++ = '\n';
    return p;
}

void formatItem(const Plan &plan, const Item &item, QByteArray &text)
{
    // Every number takes at most 32 characters with its separator.
    const qsizetype rowBytes = 32 * plan.outputNames.size() + 1;
    text.resize(rowBytes * item.rows.rows());
    char *p = text.data();
    for (size_t r = 0; r < size_t(item.rows.rows()); ++r)
        p = formatRow(plan, item, r, p);
    text.truncate(int(p - text.data()));
}

void countUncorrected(const Item &item, ScanCorrectionReport &report)
{
    for (size_t i = 0; i < item.corrections.size(); ++i) {
        for (const Correction &k : item.corrections[i])
            report.uncorrected[i] += k.flag != CorrectionFlag::None;
    }
    report.rows += item.rows.rows();
}

bool writeAll(QIODevice &out, const QByteArray &bytes)
{
    return out.write(bytes) == bytes.size();
}

// The columns a block adds, in the order of the names of correctionColumnNames.
void addedColumns(const Plan &plan, const Item &item, std::vector<std::vector<double>> &added)
{
    added.clear();
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const std::vector<Correction> &k = item.corrections[i];
        const size_t first = added.size();
        added.resize(first + 4 + plan.roiColumns[i].size());
        for (const Correction &c : k) {
            added[first].push_back(c.nTrue);
            added[first + 1].push_back(c.k);
            added[first + 2].push_back(c.kStdErr);
            added[first + 3].push_back(double(int(c.flag)));
        }
        for (size_t r = 0; r < plan.roiColumns[i].size(); ++r) {
            const std::vector<double> &roi = item.rows.columns[size_t(plan.roiColumns[i][r])];
            for (size_t p = 0; p < k.size(); ++p)
                added[first + 4 + r].push_back(roi[p] * k[p].k);
        }
    }
}

// text: the buffer of the formatted rows, kept from block to block.
QString writeItem(const Plan &plan, const Item &item, QIODevice *out, CorrectionSink *sink,
                  QByteArray &text)
{
    if (sink) {
        std::vector<std::vector<double>> added;
        addedColumns(plan, item, added);
        return sink->write(added);
    }
    formatItem(plan, item, text);
    return writeAll(*out, text) ? QString()
                                : QStringLiteral("cannot write: %1").arg(out->errorString());
}

// Formats and writes blocks as they come; the reading thread keeps one block
// ahead.
void consume(const Plan &plan, QIODevice *out, CorrectionSink *sink, BlockQueue &queue,
             ScanCorrectionReport &report)
{
    QByteArray text;
    for (;;) {
        Item item = queue.pop();
        if (!item.error.isEmpty() || item.end) {
            report.error = item.error;
            return;
        }
        countUncorrected(item, report);
        report.error = writeItem(plan, item, out, sink, text);
        if (!report.error.isEmpty()) {
            queue.close();
            return;
        }
    }
}

// Reads, corrects and writes blocks on two threads.
void correctBlocks(const ScanCorrectionSetup &setup, const Plan &plan, const NextBlock &next,
                   QIODevice *out, CorrectionSink *sink, ScanCorrectionReport &report)
{
    report.source = plan.source;
    report.elementNumbers = plan.elements;
    report.uncorrected.assign(plan.elements.size(), 0);
    if (sink) {
        report.error = sink->begin(plan.outputNames.mid(plan.header.names.size()));
    } else if (!writeAll(*out, plan.outputNames.join(QLatin1Char('\t')).toUtf8() + '\n')) {
        report.error = QStringLiteral("cannot write: %1").arg(out->errorString());
    }
    if (!report.ok())
        return;
    BlockQueue queue;
    std::thread reader([&] { produce(setup, plan, next, queue); });
    consume(plan, out, sink, queue, report);
    queue.close();
    reader.join();
}

} // namespace

qint64 ScanCorrectionReport::totalUncorrected() const
{
    qint64 n = 0;
    for (qint64 u : uncorrected)
        n += u;
    return n;
}

QStringList correctionColumnNames(int n, const QStringList &roiColumns)
{
    const QString e = QString::number(n);
    QStringList names { QStringLiteral("ntrue") + e, QStringLiteral("dtc") + e,
                        QStringLiteral("dtc%1_err").arg(e), QStringLiteral("dtc%1_flag").arg(e) };
    for (const QString &roi : roiColumns)
        names.append(roi + QStringLiteral("_corr"));
    return names;
}

ScanCorrectionReport correctScan(const ScanCorrectionSetup &setup, QIODevice &in, QIODevice &out)
{
    ScanCorrectionReport report;
    Plan plan;
    report.error = makePlan(setup, in, plan, report);
    if (!report.ok())
        return report;
    ColumnReader reader(in, plan.header);
    const NextBlock next = [&reader](ColumnBlock &block, QString &error) {
        if (!reader.readBlock(correctionBlockRows, block)) {
            error = reader.deviceError();
            return false;
        }
        if (reader.badRowCount() > 0) {
            const BadRow &bad = reader.badRows().front();
            error = QStringLiteral("line %1: %2").arg(bad.line).arg(bad.reason);
        }
        return error.isEmpty();
    };
    correctBlocks(setup, plan, next, &out, nullptr, report);
    return report;
}

ScanCorrectionReport correctScanBlocks(const ScanCorrectionSetup &setup, ScanBlockSource &in,
                                       QIODevice *out, CorrectionSink *sink)
{
    ScanCorrectionReport report;
    Plan plan;
    plan.header.names = in.columnNames();
    report.error = planColumns(setup, plan, report);
    if (!report.ok())
        return report;
    const NextBlock next = [&in](ColumnBlock &block, QString &error) {
        return in.readBlock(block, error);
    };
    correctBlocks(setup, plan, next, out, sink, report);
    return report;
}

QString correctedScanPath(const QString &scan, const QString &dir)
{
    const QFileInfo info(scan);
    const QString name = info.completeBaseName() + QStringLiteral("_dtc.tsv");
    return QDir(dir.isEmpty() ? info.path() : dir).filePath(name);
}

ScanCorrectionReport correctScanFile(const ScanCorrectionSetup &setup, const QString &scan,
                                     const QString &output)
{
    ScanCorrectionReport report;
    QFile in(scan);
    if (!in.open(QIODevice::ReadOnly)) {
        report.error = in.errorString();
        return report;
    }
    if (looksLikeHdf5(in.peek(hdf5SignatureReach)))
        return correctHdf5ScanFile(setup, scan, output, Hdf5ScanOutput::ColumnFile);
    if (QFileInfo(scan).canonicalFilePath() == QFileInfo(output).canonicalFilePath()) {
        report.error = QStringLiteral("the output would overwrite the scan");
        return report;
    }
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly)) {
        report.error = QStringLiteral("cannot write %1: %2").arg(output, out.errorString());
        return report;
    }
    report = correctScan(setup, in, out);
    if (!report.ok())
        out.cancelWriting();
    else if (!out.commit())
        report.error = QStringLiteral("cannot write %1: %2").arg(output, out.errorString());
    return report;
}
