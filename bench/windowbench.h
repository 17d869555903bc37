// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

// Helpers of the benchmarks that time a window up to its paint.
namespace windowbench {

// Counts the paints of the widgets it is installed on as an event filter.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Lets posted events (layout requests, deferred deletes) run.
inline void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Runs the event loop until the counter has seen paints paints; false after
// timeoutMs milliseconds.
inline bool waitForPaints(const PaintCounter &counter, int paints, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (counter.paints < paints) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (t.elapsed() > timeoutMs)
            return false;
    }
    return true;
}

} // namespace windowbench
