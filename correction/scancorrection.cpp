// SPDX-License-Identifier: GPL-3.0-or-later
#include "scancorrection.h"

#include "builtinrecipes.h"
#include "columnfile.h"
#include "decimaltext.h"
#include "hdf5columns.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
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

// Everything fixed for a scan once its header is read.
struct Plan
{
    Recipe recipeText; // compiled again by every worker: evaluation is not shared
    CompiledRecipe recipe;
    ColumnHeader header;
    CorrectionSource source = CorrectionSource::Sca;
    std::vector<int> elements;
    std::vector<int> deadTimeIndex; // per element, its entry in setup.deadTimes
    std::vector<QString> refused; // per element, why it is not corrected, or empty
    std::vector<std::vector<int>> roiColumns; // per element, column indices
    QStringList outputNames;
};

// The column of a --roi name: the first of that name, else the first that
// differs from it only in case. Hashed: a scan of thousands of elements looks
// up thousands of names among tens of thousands of columns.
class ColumnIndex
{
public:
    explicit ColumnIndex(const QStringList &names) : m_names(names)
    {
        for (int c = names.size() - 1; c >= 0; --c) {
            m_exact.insert(names.at(c), c);
            m_folded.insert(names.at(c).toCaseFolded(), c);
        }
    }

    int find(const QString &name) const
    {
        const int exact = m_exact.value(name, -1);
        if (exact >= 0)
            return exact;
        const int folded = m_folded.value(name.toCaseFolded(), -1);
        if (folded >= 0 && m_names.at(folded).compare(name, Qt::CaseInsensitive) == 0)
            return folded;
        // Letters whose folding and comparison differ, if any: look at every name.
        for (int c = 0; c < m_names.size(); ++c) {
            if (m_names.at(c).compare(name, Qt::CaseInsensitive) == 0)
                return c;
        }
        return -1;
    }

private:
    const QStringList &m_names;
    QHash<QString, int> m_exact;
    QHash<QString, int> m_folded;
};

QString planRois(const ScanCorrectionSetup &setup, Plan &plan)
{
    const QStringList &names = plan.header.names;
    const ColumnIndex index(names);
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        std::vector<int> columns;
        QStringList roiNames;
        for (const QString &pattern : setup.roiPatterns) {
            const QString name = expandElement(pattern, plan.elements[i], int(i));
            const int c = index.find(name);
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

const ElementDeadTimes &deadTimesOf(const ScanCorrectionSetup &setup, const Plan &plan,
                                    size_t element)
{
    return setup.deadTimes[plan.deadTimeIndex[element]];
}

QString elementList(const std::vector<int> &elements)
{
    QStringList numbers;
    for (int n : elements)
        numbers.append(QString::number(n));
    return numbers.join(QStringLiteral(", "));
}

// Each element's entry in the dead times: by element number where the dead
// times say which element each was measured on, else by position, and then
// only when there is one per element (or one for all).
QString matchDeadTimes(const ScanCorrectionSetup &setup, Plan &plan)
{
    const int elements = int(plan.elements.size());
    const int count = setup.deadTimes.size();
    plan.deadTimeIndex.assign(plan.elements.size(), 0);
    if (setup.oneForAll && count == 1)
        return QString();
    if (!setup.channelElements.empty() && int(setup.channelElements.size()) == count) {
        for (int i = 0; i < elements; ++i) {
            const auto at = std::find(setup.channelElements.begin(), setup.channelElements.end(),
                                      plan.elements[size_t(i)]);
            if (at == setup.channelElements.end())
                return QStringLiteral("element %1 has no dead times: they were measured on "
                                      "elements %2")
                        .arg(plan.elements[size_t(i)])
                        .arg(elementList(setup.channelElements));
            plan.deadTimeIndex[size_t(i)] = int(at - setup.channelElements.begin());
        }
        return QString();
    }
    if (count != elements)
        return setup.typedIn
                ? QStringLiteral("%1 dead times for %2 elements: give one for all, or one per "
                                 "element")
                          .arg(count)
                          .arg(elements)
                : QStringLiteral("the dead times cover %1 channel(s), the scan has %2 elements, "
                                 "and the file does not say which element each channel was")
                          .arg(count)
                          .arg(elements);
    for (int i = 0; i < elements; ++i)
        plan.deadTimeIndex[size_t(i)] = i;
    return QString();
}

// Dead times typed in that cannot correct are an error of the whole run;
// those of a fit that could not give them leave their element alone
// uncorrected, with the reason.
QString checkDeadTimes(const ScanCorrectionSetup &setup, Plan &plan)
{
    const QString unmatched = matchDeadTimes(setup, plan);
    if (!unmatched.isEmpty())
        return unmatched;
    plan.refused.assign(plan.elements.size(), QString());
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const int entry = plan.deadTimeIndex[i];
        QString problem = standingProblem(setup.standings.value(entry), plan.source);
        if (problem.isEmpty())
            problem = deadTimesProblem(setup.model, deadTimesOf(setup, plan, i), plan.source);
        if (problem.isEmpty())
            continue;
        const QString text = QStringLiteral("element %1 (channel %2): %3")
                                     .arg(plan.elements[i])
                                     .arg(entry)
                                     .arg(problem);
        if (setup.typedIn)
            return text;
        plan.refused[i] = text;
    }
    return QString();
}

QString planColumns(const ScanCorrectionSetup &setup, Plan &plan, ScanCorrectionReport &report)
{
    std::optional<Recipe> recipe = setup.recipe;
    if (!recipe)
        recipe = builtinRecipe(plan.header.names);
    if (!recipe) {
        report.needsRecipe = true;
        return QStringLiteral("no built-in recipe fits the columns; give one with --recipe");
    }
    report.recipeOrigin = recipe->origin;
    plan.recipeText = *recipe;
    if (!plan.recipe.compile(*recipe, plan.header.names))
        return plan.recipe.error();
    plan.elements = plan.recipe.elementNumbers();
    plan.source = setup.source.value_or(recipe->icr.trimmed().isEmpty() ? CorrectionSource::Sca
                                                                        : CorrectionSource::Icr);
    if (plan.source != CorrectionSource::Sca && recipe->icr.trimmed().isEmpty())
        return plan.source == CorrectionSource::Icr
                ? QStringLiteral("the recipe gives no ICR to correct from; use --from sca")
                : QStringLiteral("the recipe gives no ICR, the amplifier's input rate that "
                                 "--stages amp needs");
    plan.outputNames = plan.header.names;
    const QString problem = checkDeadTimes(setup, plan);
    return problem.isEmpty() ? planRois(setup, plan) : problem;
}

QString makePlan(const ScanCorrectionSetup &setup, QIODevice &in, Plan &plan,
                 ScanCorrectionReport &report)
{
    if (looksLikeHdf5(in.peek(hdf5SignatureReach)))
        return QStringLiteral("an HDF5 scan is corrected from its file");
    plan.header = readColumnHeader(in);
    if (!plan.header.ok())
        return plan.header.error;
    return planColumns(setup, plan, report);
}

// Fills a block with the next rows: false at the end of the scan, or with
// the error set.
using NextBlock = std::function<bool(ColumnBlock &, QString &)>;

// Rows per block: fewer for a very wide scan, so that a block's output stays
// within a few megabytes whatever the number of columns.
int blockRows(const Plan &plan)
{
    const qint64 rowBytes = 32 * qint64(plan.outputNames.size()) + 1;
    return int(std::clamp<qint64>((qint64(8) << 20) / rowBytes, 1, correctionBlockRows));
}

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

// The scan's own values are written back as they were read when the field is
// a plain decimal number: the same value, and no time spent formatting it.
// Anything else ("NaN", "Infinity", a number too large for a double) is
// written as the value it was read as, the shortest text that reads back as
// the same double, so that every reader of the output takes it alike.
// Computed values get digits enough for their precision: rates and factors
// 10 significant digits (5e-10 relative, far below any dead time's
// uncertainty), standard errors 3.
constexpr int valueDigits = 10;
constexpr int errorDigits = 3;

// What a byte of a row's text is to the copy below.
enum ByteClass : unsigned char { Other = 0, Separator = 1, LineEnd = 2, Plain = 4 };

constexpr std::array<unsigned char, 256> makeByteClasses()
{
    std::array<unsigned char, 256> t {};
    for (unsigned char c : { ' ', '\t', ',', '\r', '\v', '\f' })
        t[c] = Separator;
    t[size_t('\n')] = LineEnd;
    for (unsigned char c : { '.', '-', '+', 'e', 'E' })
        t[c] = Plain;
    for (unsigned char c = '0'; c <= '9'; ++c)
        t[c] = Plain;
    return t;
}

constexpr std::array<unsigned char, 256> byteClasses = makeByteClasses();

inline unsigned byteClass(char c)
{
    return byteClasses[static_cast<unsigned char>(c)];
}

// The row has exactly as many fields as columns, and its text ends with a
// line end: neither loop can run past it.
char *copyOwnFields(const char *q, const ColumnBlock &block, size_t r, char *p)
{
    for (size_t c = 0; c < block.columns.size(); ++c) {
        while (byteClass(*q) == Separator)
            ++q;
        if (c > 0)
            *p++ = '\t';
        char *const field = p;
        unsigned seen = Plain;
        for (unsigned k; ((k = byteClass(*q)) & (Separator | LineEnd)) == 0; ++q) {
            seen &= k;
            *p++ = *q;
        }
        const double v = block.columns[c][r];
        if (seen != Plain || !std::isfinite(v))
            p = writeExact(field, v);
    }
    return p;
}

// What a byte of a tidy line becomes in the output (the low eight bits), and
// what it tells of the line.
enum ByteRole : std::uint16_t { Separates = 0x100, Untidy = 0x200, Exponent = 0x400 };

constexpr std::array<std::uint16_t, 256> makeByteRoles()
{
    std::array<std::uint16_t, 256> t {};
    for (int c = 0; c < 256; ++c)
        t[size_t(c)] = std::uint16_t(c | (byteClasses[size_t(c)] == Plain ? 0 : Untidy));
    for (unsigned char c : { ' ', '\t', ',' })
        t[c] = '\t' | Separates;
    t[size_t('e')] |= Exponent;
    t[size_t('E')] |= Exponent;
    return t;
}

constexpr std::array<std::uint16_t, 256> byteRoles = makeByteRoles();

#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Eight bytes of a line at once, the first in the lowest byte: each test
// below gives 0x80 in every byte that passes it and 0 elsewhere, exactly (no
// carry crosses from one byte into the next).
constexpr std::uint64_t everyByte(unsigned char c)
{
    return 0x0101010101010101ULL * c;
}

constexpr std::uint64_t highBits = everyByte(0x80);

// Bytes below n (n <= 0x80).
inline std::uint64_t bytesBelow(std::uint64_t x, unsigned char n)
{
    return ~(((x & everyByte(0x7f)) + everyByte(0x80 - n)) | x) & highBits;
}

inline std::uint64_t bytesEqual(std::uint64_t x, unsigned char c)
{
    const std::uint64_t t = x ^ everyByte(c);
    return ~(((t & everyByte(0x7f)) + everyByte(0x7f)) | t) & highBits;
}

// What eight bytes of a line hold, as copyTidyLine() needs it.
struct EightBytes
{
    std::uint64_t separators; // blank, tab, comma
    std::uint64_t plain; // digits, point, signs, exponent letters
    std::uint64_t exponents;
};

inline EightBytes classify(std::uint64_t x)
{
    EightBytes b;
    b.separators = bytesEqual(x, ' ') | bytesEqual(x, '\t') | bytesEqual(x, ',');
    b.exponents = bytesEqual(x, 'e') | bytesEqual(x, 'E');
    b.plain = (bytesBelow(x, '9' + 1) & ~bytesBelow(x, '0')) | bytesEqual(x, '.')
            | bytesEqual(x, '-') | bytesEqual(x, '+') | b.exponents;
    return b;
}
#endif

// Most rows are tidy: plain decimal numbers, one space, tab or comma between
// them, nothing before the first or after the last. Such a line is copied in
// one pass with its separators made tabs, eight bytes at a time, with no
// branch per field for the processor to mispredict; false leaves the row to
// the field-by-field copy. exponent tells whether any field had one.
bool copyTidyLine(const char *q, size_t length, char *p, bool &exponent)
{
    unsigned seen = length == 0 ? Untidy : 0;
    unsigned previous = Separates; // nothing may come before the first field
    size_t i = 0;
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t untidy = 0;
    std::uint64_t exponents = 0;
    std::uint64_t separatorBefore = 0x80; // for the first byte: the line's start
    for (; i + 8 <= length; i += 8) {
        std::uint64_t x;
        std::memcpy(&x, q + i, 8);
        const EightBytes b = classify(x);
        // Anything else, and a separator right after another, make the line untidy.
        untidy |= (~(b.separators | b.plain) & highBits)
                | (b.separators & ((b.separators << 8) | separatorBefore));
        exponents |= b.exponents;
        separatorBefore = b.separators >> 56;
        const std::uint64_t tabs = (b.separators >> 7) * 0xff;
        x = (x & ~tabs) | (everyByte('\t') & tabs);
        std::memcpy(p + i, &x, 8);
    }
    seen |= (untidy ? Untidy : 0) | (exponents ? Exponent : 0);
    previous = separatorBefore ? Separates : 0;
#endif
    for (; i < length; ++i) {
        const unsigned role = byteRoles[static_cast<unsigned char>(q[i])];
        p[i] = char(role);
        seen |= role | ((role & previous) << 1); // two separators in a row: untidy
        previous = role & Separates;
    }
    exponent = (seen & Exponent) != 0;
    return ((seen & Untidy) | previous) == 0;
}

bool allFinite(const ColumnBlock &block, size_t r)
{
    bool finite = true;
    for (const std::vector<double> &column : block.columns)
        finite &= std::isfinite(column[r]);
    return finite;
}

// The row's own fields, tab-separated, as they were read where they are
// plain decimal numbers.
char *copyOwnValues(const ColumnBlock &block, size_t r, char *p)
{
    const size_t begin = r > 0 ? block.textEnds[r - 1] : 0;
    const char *q = block.text.data() + begin;
    // The line without its "\n".
    const size_t length = block.textEnds[r] - begin - 1;
    // Plain digits overflow a double only with an exponent or beyond 308 of
    // them; only then need the values be looked at.
    bool exponent = false;
    if (copyTidyLine(q, length, p, exponent) && ((!exponent && length < 300) || allFinite(block, r)))
        return p + length;
    return copyOwnFields(q, block, r, p);
}

char *formatOwnValues(const ColumnBlock &block, size_t r, char *p)
{
    for (size_t c = 0; c < block.columns.size(); ++c) {
        if (c > 0)
            *p++ = '\t';
        p = writeExact(p, block.columns[c][r]);
    }
    return p;
}

// What a worker needs for itself: its own compiled recipe and room for a
// block's rates and corrections.
struct Worker
{
    CompiledRecipe recipe;
    std::vector<ElementRates> rates;
    std::vector<std::vector<Correction>> corrections; // per element, per row
};

void correctBlock(const ScanCorrectionSetup &setup, const Plan &plan, Worker &w, Item &item)
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
                    correctPoint(setup.model, deadTimesOf(setup, plan, i), plan.source, icr, r.sca[p]));
            item.uncorrected[i] += out[p].flag != CorrectionFlag::None;
        }
    }
}

// One row's computed values: each element's correction.
char *formatCorrections(const Plan &plan, const Worker &w, const ColumnBlock &block, size_t r,
                        char *p)
{
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const Correction &k = w.corrections[i][r];
        *p++ = '\t';
        p = writeSignificant(p, k.nTrue, valueDigits);
        *p++ = '\t';
        p = writeSignificant(p, k.k, valueDigits);
        *p++ = '\t';
        p = writeSignificant(p, k.kStdErr, errorDigits);
        *p++ = '\t';
        *p++ = char('0' + int(k.flag));
        for (int c : plan.roiColumns[i]) {
            *p++ = '\t';
            p = writeSignificant(p, block.columns[size_t(c)][r] * k.k, valueDigits);
        }
    }
    *p++ = '\n';
    return p;
}

bool formatBlock(const Plan &plan, const Worker &w, Item &item)
{
    const ColumnBlock &block = item.rows;
    const size_t rows = size_t(block.rows());
    const bool haveText = block.textEnds.size() == rows;
    // A copied field is no longer than its text (what is formatted instead,
    // "nan" or "inf", is not longer either), any number formatted here takes
    // at most 32 characters with its separator, one to 10 digits at most 24,
    // a flag 2; the formatters may use 32 bytes at the last one.
    const size_t columns = block.columns.size();
    const size_t own = haveText ? block.text.size() + columns * rows : 32 * columns * rows;
    size_t computedPerRow = 1;
    for (const std::vector<int> &rois : plan.roiColumns)
        computedPerRow += 3 * 24 + 2 + 24 * rois.size();
    const size_t bytes = own + computedPerRow * rows + 32;
    // Only a single line of hundreds of megabytes comes near the limit.
    if (bytes > size_t(std::numeric_limits<int>::max() / 2))
        return false;
    item.text.resize(int(bytes));
    char *p = item.text.data();
    for (size_t r = 0; r < rows; ++r) {
        p = haveText ? copyOwnValues(block, r, p) : formatOwnValues(block, r, p);
        p = formatCorrections(plan, w, block, r, p);
    }
    item.text.truncate(int(p - item.text.data()));
    return true;
}

// The columns a block adds, in the order of the names of correctionColumnNames.
void addedColumns(const Plan &plan, const Worker &w, Item &item)
{
    std::vector<std::vector<double>> &added = item.added;
    added.clear();
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const std::vector<Correction> &k = w.corrections[i];
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

// Evaluates the recipe on, corrects and formats one block; for a sink, the
// block's added columns instead of its text.
void correctItem(const ScanCorrectionSetup &setup, const Plan &plan, bool compiled, bool toSink,
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
            addedColumns(plan, w, item);
        else if (!formatBlock(plan, w, item))
            item.error = QStringLiteral("line %1: the rows are too long to correct")
                                 .arg(item.rows.lines.front());
    }
    item.rowCount = item.rows.rows();
}

// A worker: corrects blocks until none are left.
void work(const ScanCorrectionSetup &setup, const Plan &plan, bool toSink, Pipeline &pipeline)
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
void correctInTurn(const ScanCorrectionSetup &setup, const Plan &plan, const NextBlock &next,
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

// Reads blocks on one thread, corrects them on the workers and writes them
// on this one, in the order of the file.
void correctBlocks(const ScanCorrectionSetup &setup, const Plan &plan, const NextBlock &next,
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
    reader.keepText(true);
    const int rows = blockRows(plan);
    const NextBlock next = [&reader, rows](ColumnBlock &block, QString &error) {
        if (!reader.readBlock(rows, block)) {
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
