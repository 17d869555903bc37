// SPDX-License-Identifier: GPL-3.0-or-later
#include "scanpipeline.h"

#include "correctedrows.h"
#include "scanplan.h"

#include <QIODevice>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace {

// One block on its way through the pipeline: read and parsed by the reading
// thread, corrected and formatted by a worker, written by the calling thread
// in the order of the file.
struct Item
{
    ColumnBlock rows;
    QByteArray text; // the block's output lines
    std::vector<std::vector<double>> added; // or its added columns, for a sink
    std::vector<qint64> uncorrected; // per element
    qint64 rowCount = 0;
    QString error;
    bool end = false;
    bool ready = false; // nothing left to do but write it
};

using ItemPtr = std::shared_ptr<Item>;

// The blocks in flight, in file order, and those a worker has yet to take.
// Their number is bounded so that memory stays flat: enough to keep every
// worker busy while the writer waits for the oldest block.
class Pipeline
{
public:
    explicit Pipeline(size_t limit) : m_limit(limit) { }

    // The reader's side; false once the writer has given up.
    bool push(ItemPtr item)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_inFlight.size() < m_limit || m_closed; });
        if (m_closed)
            return false;
        m_inFlight.push_back(item);
        if (item->ready)
            m_inputEnded = true;
        else
            m_work.push_back(std::move(item));
        m_changed.notify_all();
        return true;
    }
    // A worker's side: the next block to correct, or null when there is none
    // left.
    ItemPtr take()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_work.empty() || m_inputEnded || m_closed; });
        if (m_work.empty() || m_closed)
            return nullptr;
        ItemPtr item = std::move(m_work.front());
        m_work.pop_front();
        return item;
    }
    void done(Item &item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        item.ready = true;
        m_changed.notify_all();
    }
    // The writer's side: the oldest block once it is ready.
    ItemPtr next()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_inFlight.empty() && m_inFlight.front()->ready; });
        ItemPtr item = std::move(m_inFlight.front());
        m_inFlight.pop_front();
        m_changed.notify_all();
        return item;
    }
    // Blocks are used again once written: their buffers keep their size, so
    // that a long scan costs no fresh memory per block.
    ItemPtr fresh()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_spare.empty())
            return std::make_shared<Item>();
        ItemPtr item = std::move(m_spare.back());
        m_spare.pop_back();
        item->error.clear();
        item->end = false;
        item->ready = false;
        return item;
    }
    void recycle(ItemPtr item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_spare.push_back(std::move(item));
    }
    // The writer gives up or is done: the reader and the workers stop.
    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_work.clear();
        m_changed.notify_all();
    }

private:
    const size_t m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ItemPtr> m_inFlight;
    std::deque<ItemPtr> m_work;
    std::vector<ItemPtr> m_spare;
    bool m_inputEnded = false;
    bool m_closed = false;
};

// Reads blocks until the scan ends or fails, or the writer gives up; the
// last block pushed carries the end or the error.
void produce(const NextBlock &next, Pipeline &pipeline)
{
    for (;;) {
        ItemPtr item = pipeline.fresh();
        if (!next(item->rows, item->error) && item->error.isEmpty())
            item->end = true;
        const bool last = item->end || !item->error.isEmpty();
        item->ready = last;
        if (!pipeline.push(std::move(item)) || last)
            return;
    }
}

// What a worker needs for itself: its own compiled recipe and room for a
// block's rates and corrections.
struct Worker
{
    CompiledRecipe recipe;
    std::vector<ElementRates> rates;
    BlockCorrections corrections;
};

void correctBlock(const ScanCorrectionSetup &setup, const ScanPlan &plan, Worker &w, Item &item)
{
    w.corrections.resize(plan.elements.size());
    item.uncorrected.assign(plan.elements.size(), 0);
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const ElementRates &r = w.rates[i];
        std::vector<Correction> &out = w.corrections[i];
        out.resize(r.sca.size());
        if (!plan.refused[i].isEmpty()) {
            const double nan = std::numeric_limits<double>::quiet_NaN();
            std::fill(out.begin(), out.end(),
                      Correction { nan, nan, nan, CorrectionFlag::NotDetermined });
            item.uncorrected[i] += qint64(out.size());
            continue;
        }
        for (size_t p = 0; p < r.sca.size(); ++p) {
            const double icr = r.icr.empty() ? 0.0 : r.icr[p];
            // Made in place: an assignment would copy the result through the
            // stack in overlapping moves that wait for the stores before them.
            ::new (&out[p]) Correction(
                    correctPoint(setup.model, plan.deadTimes(setup, i), plan.source, icr, r.sca[p]));
            item.uncorrected[i] += out[p].flag != CorrectionFlag::None;
        }
    }
}

// Evaluates the recipe on, corrects and formats one block; for a sink, the
// block's added columns instead of its text.
void correctItem(const ScanCorrectionSetup &setup, const ScanPlan &plan, bool compiled, bool toSink,
                 Worker &w, Item &item)
{
    RecipeRowError rowError;
    if (!compiled) {
        item.error = w.recipe.error();
    } else if (!w.recipe.evaluate(item.rows, w.rates, &rowError)) {
        item.error = rowErrorText(rowError);
    } else {
        correctBlock(setup, plan, w, item);
        if (toSink)
            correctedColumns(plan, w.corrections, item.rows, item.added);
        else if (!formatCorrectedRows(plan, w.corrections, item.rows, item.text))
            item.error = QStringLiteral("line %1: the rows are too long to correct")
                                 .arg(item.rows.lines.front());
    }
    item.rowCount = item.rows.rows();
}

// A worker: corrects blocks until none are left.
void work(const ScanCorrectionSetup &setup, const ScanPlan &plan, bool toSink, Pipeline &pipeline)
{
    Worker w;
    const bool compiled = w.recipe.compile(plan.recipeText, plan.header.names);
    while (ItemPtr item = pipeline.take()) {
        correctItem(setup, plan, compiled, toSink, w, *item);
        pipeline.done(*item);
    }
}

bool writeAll(QIODevice &out, const QByteArray &bytes)
{
    return out.write(bytes) == bytes.size();
}

// Writes one block, as text to out or as columns to the sink: false when the
// scan ends with it, at the end of the file or on an error.
bool writeItem(QIODevice *out, CorrectionSink *sink, const Item &item, ScanCorrectionReport &report)
{
    if (!item.error.isEmpty() || item.end) {
        report.error = item.error;
        return false;
    }
    for (size_t i = 0; i < item.uncorrected.size(); ++i)
        report.uncorrected[i] += item.uncorrected[i];
    report.rows += item.rowCount;
    if (sink)
        report.error = sink->write(item.added);
    else if (!writeAll(*out, item.text))
        report.error = QStringLiteral("cannot write: %1").arg(out->errorString());
    return report.ok();
}

// Writes the blocks in the order of the file as they become ready.
void consume(QIODevice *out, CorrectionSink *sink, Pipeline &pipeline,
             ScanCorrectionReport &report)
{
    for (;;) {
        ItemPtr item = pipeline.next();
        if (!writeItem(out, sink, *item, report))
            return;
        pipeline.recycle(std::move(item));
    }
}

// The same blocks read, corrected and written in turn on this thread.
void correctInTurn(const ScanCorrectionSetup &setup, const ScanPlan &plan, const NextBlock &next,
                   QIODevice *out, CorrectionSink *sink, ScanCorrectionReport &report)
{
    Worker w;
    const bool compiled = w.recipe.compile(plan.recipeText, plan.header.names);
    Item item;
    do {
        item.error.clear();
        item.end = !next(item.rows, item.error) && item.error.isEmpty();
        if (!item.end && item.error.isEmpty())
            correctItem(setup, plan, compiled, sink != nullptr, w, item);
    } while (writeItem(out, sink, item, report));
}

// Workers beside the reading and the writing thread: one per core, within
// reason; more would only hold more blocks in memory.
int workerCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return int(std::clamp(cores, 1u, 4u));
}

} // namespace

// Reads blocks on one thread, corrects them on the workers and writes them
// on this one, in the order of the file.
void correctBlocks(const ScanCorrectionSetup &setup, const ScanPlan &plan, const NextBlock &next,
                   QIODevice *out, CorrectionSink *sink, ScanCorrectionReport &report)
{
    report.source = plan.source;
    report.elementNumbers = plan.elements;
    report.refused = plan.refused;
    report.uncorrected.assign(plan.elements.size(), 0);
    if (sink)
        report.error = sink->begin(plan.outputNames.mid(plan.header.names.size()));
    else if (!writeAll(*out, plan.outputNames.join(QLatin1Char('\t')).toUtf8() + '\n'))
        report.error = QStringLiteral("cannot write: %1").arg(out->errorString());
    if (!report.ok())
        return;
    if (setup.oneThread) {
        correctInTurn(setup, plan, next, out, sink, report);
        return;
    }
    const int workers = workerCount();
    Pipeline pipeline(size_t(workers) + 2);
    std::thread reader([&] { produce(next, pipeline); });
    std::vector<std::thread> correctors;
    for (int i = 0; i < workers; ++i)
        correctors.emplace_back([&] { work(setup, plan, sink != nullptr, pipeline); });
    consume(out, sink, pipeline, report);
    pipeline.close();
    reader.join();
    for (std::thread &t : correctors)
        t.join();
}
