// SPDX-License-Identifier: GPL-3.0-or-later
// Starts one kind of window the way the program's main does and, as soon as
// the window's first paint is done, writes "p" and the processor time used so
// far in milliseconds to standard output; bm_startup times that from the
// moment it spawns this process.
//   window [-e]   the main window (Japanese unless -e), dialogs included
//   form [-e]     the main window's form alone: no file dialogs
//   bare          a QApplication and an empty QWidget of the same size
//   label         the same with one line of text, so that fonts are set up

#include "body.h"
#include "language.h"
#include "ui_body.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QTranslator>

#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

class FormOnly : public QFrame, private Ui_Body
{
public:
    FormOnly() { setupUi(this); }
};

class FirstPaint : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

double processCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// With RATELENS_PROBE_PHASES set, the wall time since the start of main and
// the processor time of the process at the end of each step go to standard
// error.
class Phases
{
public:
    Phases()
        : enabled(qEnvironmentVariableIsSet("RATELENS_PROBE_PHASES"))
    {
        clock.start();
    }
    void mark(const char *what)
    {
        if (enabled)
            std::fprintf(stderr, "%7.2f ms wall %7.2f ms cpu  %s\n",
                         double(clock.nsecsElapsed()) / 1e6, processCpuMs(), what);
    }

private:
    bool enabled;
    QElapsedTimer clock;
};

} // namespace

int main(int argc, char *argv[])
{
    Phases phases;
    QApplication app(argc, argv);
    phases.mark("QApplication");
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0, QStringLiteral("window"));

    QTranslator translator;
    const bool ownWindow = mode == QLatin1String("window") || mode == QLatin1String("form");
    if (ownWindow && japaneseRequested(args.mid(1))) {
        translator.load(QStringLiteral(":Ratelens_ja_JP"), QCoreApplication::applicationDirPath(),
                        QString(), QString());
        QCoreApplication::installTranslator(&translator);
        phases.mark("catalogue");
    }

    std::unique_ptr<QWidget> window;
    if (mode == QLatin1String("window")) {
        auto *body = new Body;
        QObject::connect(body, SIGNAL(quit()), &app, SLOT(closeAllWindows()));
        window.reset(body);
    } else if (mode == QLatin1String("form")) {
        window = std::make_unique<FormOnly>();
    } else {
        window = std::make_unique<QWidget>();
        window->resize(1536, 854);
        if (mode == QLatin1String("label"))
            new QLabel(QStringLiteral("Ratelens"), window.get());
    }
    phases.mark("window built");

    FirstPaint probe;
    window->installEventFilter(&probe);
    window->show();
    phases.mark("shown");
    // The filter sees the paint event before the window handles it; the paint
    // is complete once processEvents returns from that delivery.
    while (!probe.painted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    phases.mark("first paint done");
    // Processor time as well as the moment: on a busy machine the wall clock
    // mostly measures the other processes.
    char report[64];
    const int length = std::snprintf(report, sizeof report, "p %.3f\n", processCpuMs());
    const ssize_t written = ::write(STDOUT_FILENO, report, size_t(length));
    return written == length ? 0 : 1;
}
