// SPDX-License-Identifier: GPL-3.0-or-later
// Large loads through the main window: the open dialog's filesSelected with
// the paths, then the event loop until the whole window has been painted
// once. Beside each, in the same run, the yardstick of what showing these
// numbers costs in Qt: the same files read by the same loader into a point
// set and shown by a QTableView over a table model, in a window of the same
// size.
//
// Time is the load and the first paint, on a window already built and shown.
// Memory is the growth of the peak resident size: before each run freed heap
// is given back to the system (malloc_trim) and the peak is set back to the
// current size (writing 5 to /proc/self/clear_refs); after the first paint
// the peak (VmHWM in /proc/self/status) less the resident size (VmRSS) just
// before the load is the counter peak_MB, and less the resident size before
// the window was built is window_MB (the window with its backing store, its
// dialogs, the loaded numbers and what shows them), both averaged over the
// iterations.

#include "ameasp.h"
#include "benchdata.h"
#include "benchsupport.h"
#include "body.h"
#include "loader.h"
#include "windowbench.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>

#include <malloc.h>

#include <functional>
#include <memory>

namespace {

constexpr QSize windowSize(1536, 854);

qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1 && clear.flush();
}

// The inputs, written once per process.
QStringList pointTableFiles(int channels, int lines)
{
    const QString name = QStringLiteral("table-%1x%2.dat").arg(channels).arg(lines);
    return { benchsupport::writeScratch(
            name, benchdata::pointTable(channels, lines, benchdata::tableSeed)) };
}

QStringList spectrumFiles(int channels, int files)
{
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        const QByteArray bytes =
                benchdata::spectrumFile(channels, 4096, benchdata::scanI0(i, files),
                                        benchdata::spectrumSeed + std::uint64_t(i));
        paths.append(benchsupport::writeScratch(
                QStringLiteral("spectrum-%1-%2.dat").arg(channels).arg(i), bytes));
    }
    return paths;
}

struct Input
{
    const char *name;
    int channels;
    int points;
    std::function<QStringList()> files;
};

const Input inputs[] = {
    { "table19x500", 19, 500, [] { return pointTableFiles(19, 500); } },
    { "table64x200", 64, 200, [] { return pointTableFiles(64, 200); } },
    { "spectra32x25", 32, 25, [] { return spectrumFiles(32, 25); } },
};

using windowbench::PaintCounter;
using windowbench::settle;

// Runs the event loop until every watched widget has painted; false after 60 s.
bool waitForPaint(const PaintCounter &counter, int watched)
{
    return windowbench::waitForPaints(counter, watched, 60000);
}

// Goes on with the event loop as long as it paints: what follows the first
// paint in the same batch of events.
void drain(const PaintCounter &counter)
{
    for (int seen = -1; seen != counter.paints;) {
        seen = counter.paints;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// The numbers of a point set as a table: one row per point, I0 then the
// ICRs and the SCAs of its channels, six significant digits as in the boxes.
class PointTableModel : public QAbstractTableModel
{
public:
    explicit PointTableModel(const PointSet &points)
        : set(points)
    {
        for (const MeasValues &p : set.points())
            cols = qMax(cols, 1 + p.icrs.size() + p.scas.size());
    }
    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : set.size();
    }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : cols; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return QVariant();
        const MeasValues &p = set.at(index.row());
        int c = index.column();
        if (c == 0)
            return QString::number(p.i0, 'g', 6);
        --c;
        if (c < p.icrs.size())
            return QString::number(p.icrs[c], 'g', 6);
        c -= p.icrs.size();
        if (c < p.scas.size())
            return QString::number(p.scas[c], 'g', 6);
        return QVariant();
    }

private:
    const PointSet &set;
    int cols = 0;
};

// Times what happens between the untimed set-up and tear-down of each
// iteration, and reports the mean growth of the peak resident size.
template <typename Window>
void measure(benchmark::State &state, const std::function<std::unique_ptr<Window>()> &make,
             const std::function<bool(Window &, PaintCounter &)> &loadAndPaint)
{
    double grown = 0;
    double grownWhole = 0;
    int runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        const qint64 beforeWindow = statusBytes("VmRSS");
        if (!resetPeak() || beforeWindow < 0) {
            state.SkipWithError("no /proc/self/status or clear_refs: memory cannot be measured");
            return;
        }
        std::unique_ptr<Window> w = make();
        w->resize(windowSize);
        w->show();
        settle();
        PaintCounter counter;
        const qint64 before = statusBytes("VmRSS");
        state.ResumeTiming();
        const bool ok = loadAndPaint(*w, counter);
        state.PauseTiming();
        const qint64 peak = statusBytes("VmHWM");
        grown += double(peak - before);
        grownWhole += double(peak - beforeWindow);
        ++runs;
        w.reset();
        settle();
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("the load was not shown");
            return;
        }
    }
    state.counters["peak_MB"] = grown / runs / (1024.0 * 1024.0);
    state.counters["window_MB"] = grownWhole / runs / (1024.0 * 1024.0);
}

void BM_WindowLoad(benchmark::State &state, const Input &input)
{
    const QStringList files = input.files();
    measure<Body>(
            state, [] { return std::make_unique<Body>(); },
            [&](Body &body, PaintCounter &counter) {
                // The window itself repaints where its children moved; the
                // plots repaint as well once they have a height.
                body.installEventFilter(&counter);
                emit body.openFileDialog()->filesSelected(files);
                if (!waitForPaint(counter, 1))
                    return false;
                drain(counter);
                const MeasSet &m = body.measSet();
                return m.mcas.size() == input.points && m.chs() == input.channels && m.estimated;
            });
}

// The yardstick's window: a table view filling a frame of the same size.
struct TableWindow : QWidget
{
    TableWindow()
    {
        auto *layout = new QGridLayout(this);
        view = new QTableView(this);
        layout->addWidget(view, 0, 0);
    }
    QTableView *view;
    PointSet points;
    std::unique_ptr<PointTableModel> model;
};

void BM_TableViewLoad(benchmark::State &state, const Input &input)
{
    const QStringList files = input.files();
    measure<TableWindow>(
            state, [] { return std::make_unique<TableWindow>(); },
            [&](TableWindow &w, PaintCounter &counter) {
                w.view->viewport()->installEventFilter(&counter);
                loadMeasurementFiles(files, w.points, [](const QString &) {});
                w.model = std::make_unique<PointTableModel>(w.points);
                w.view->setModel(w.model.get());
                if (!waitForPaint(counter, 1))
                    return false;
                drain(counter);
                return w.points.size() == input.points && w.points.chs() == input.channels;
            });
}

// The panel area scrolled to its very end, as far as the event loop needs to
// settle the scroll range: the last point's panel must lie in the viewport
// and show its I0 as a box would.
bool lastRowShows(Body &body)
{
    auto *panels = body.findChild<QAbstractScrollArea *>(QStringLiteral("panelScroll"));
    const QVector<AMeasP *> &mcas = body.measSet().mcas;
    if (!panels || mcas.isEmpty())
        return false;
    const QString expected = QString::number(body.measSet().points.at(mcas.size() - 1).i0, 'g', 6);
    for (int round = 0; round < 20; ++round) {
        panels->verticalScrollBar()->setValue(panels->verticalScrollBar()->maximum());
        settle();
        const AMeasP *last = mcas.last();
        if (!last)
            continue;
        const int top = last->mapTo(panels->viewport(), QPoint()).y();
        const bool inView = top >= 0 && top + last->height() <= panels->viewport()->height();
        const auto *i0 = last->findChild<QLineEdit *>(QStringLiteral("I0"));
        if (last->isVisible() && inView && i0 && i0->text() == expected)
            return true;
    }
    return false;
}

// A table of 100,000 lines: the time to the first paint and the memory, as
// above; untimed afterwards, the last row scrolled into view must show
// (last_row_shown), and the memory counters include that scroll.
void BM_WindowLoadLarge(benchmark::State &state, const Input &input)
{
    const QStringList files = input.files();
    bool lastShown = true;
    measure<Body>(
            state, [] { return std::make_unique<Body>(); },
            [&](Body &body, PaintCounter &counter) {
                body.installEventFilter(&counter);
                emit body.openFileDialog()->filesSelected(files);
                if (!waitForPaint(counter, 1))
                    return false;
                drain(counter);
                state.PauseTiming();
                lastShown = lastShown && lastRowShows(body);
                state.ResumeTiming();
                return body.measSet().mcas.size() == input.points;
            });
    state.counters["last_row_shown"] = lastShown ? 1 : 0;
}

// One mouse move over the I0-Nin plot of a loaded window: the tooltip of
// what lies under the pointer and the repaint the move asks for.
void BM_WindowHover(benchmark::State &state, const Input &input)
{
    Body body;
    body.resize(windowSize);
    body.show();
    settle();
    emit body.openFileDialog()->filesSelected(input.files());
    settle();
    auto *plot = body.findChild<QWidget *>(QStringLiteral("I0NinDisp"));
    PaintCounter counter;
    plot->installEventFilter(&counter);
    int x = 0;
    for (auto _ : state) {
        const QPoint pos(10 + x++ % qMax(1, plot->width() - 20), plot->height() / 2);
        QMouseEvent move(QEvent::MouseMove, pos, plot->mapToGlobal(pos), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &move);
        const int before = counter.paints;
        if (!waitForPaint(counter, before + 1)) {
            state.SkipWithError("the plot was not repainted");
            return;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchsupport::init(argc, argv);
    QApplication app(argc, argv);
    // The reader's trace of the header search goes to the debug output.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    for (const Input &input : inputs) {
        benchmark::RegisterBenchmark((std::string("BM_WindowLoad/") + input.name).c_str(),
                                     BM_WindowLoad, input)
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_TableViewLoad/") + input.name).c_str(),
                                     BM_TableViewLoad, input)
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_WindowHover/") + input.name).c_str(),
                                     BM_WindowHover, input)
                ->Unit(benchmark::kMillisecond);
    }
    static const Input huge { "table19x100000", 19, 100000,
                              [] { return pointTableFiles(19, 100000); } };
    benchmark::RegisterBenchmark("BM_WindowLoad/table19x100000", BM_WindowLoadLarge, huge)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    // Hovering matters most where the plots hold the most values.
    static const Input large { "table64x20000", 64, 20000,
                               [] { return pointTableFiles(64, 20000); } };
    benchmark::RegisterBenchmark("BM_WindowHover/table64x20000", BM_WindowHover, large)
            ->Unit(benchmark::kMillisecond);
    return benchsupport::run(argc, argv);
}
