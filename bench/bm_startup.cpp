// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: from spawning a process to the end of its window's first paint
// on the offscreen platform, for the main window, the main window's form
// without its two file dialogs, and an empty QWidget of the same size, bare
// or with one label.

#include "benchsupport.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Seconds until the probe, started in folder, reports its first paint, or a
// negative value when it fails to start or exits without painting; cpuMs gets
// the processor time
// the probe had used by then. With a state, the wait for the probe's exit is
// left out of the timing.
double timeToFirstPaint(const std::vector<std::string> &args, const std::string &folder,
                        benchmark::State *state, double &cpuMs)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1.0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    // The toolkit's start-up warnings would only clutter the table.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

    std::vector<char *> argv;
    std::string program = RATELENS_STARTUP_PROBE;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string &a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return -1.0;
    }
    char c = 0;
    const ssize_t got = ::read(fds[0], &c, 1);
    const auto stop = std::chrono::steady_clock::now();
    // The rest of the report arrives with the probe's exit, and tearing the
    // window down is not part of starting it.
    if (state)
        state->PauseTiming();
    std::string rest;
    char buf[64];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        rest.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (state)
        state->ResumeTiming();
    if (got != 1 || c != 'p' || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1.0;
    cpuMs = std::strtod(rest.c_str(), nullptr);
    return std::chrono::duration<double>(stop - start).count();
}

void BM_Start(benchmark::State &state, std::vector<std::string> args, std::string folder)
{
    // One start untimed, so that the first measured one does not pay for
    // bringing the libraries into the page cache.
    double cpuMs = 0.0;
    if (timeToFirstPaint(args, folder, nullptr, cpuMs) < 0.0) {
        state.SkipWithError("the start-up probe did not paint");
        return;
    }
    double cpuTotal = 0.0;
    for (auto _ : state) {
        if (timeToFirstPaint(args, folder, &state, cpuMs) < 0.0) {
            state.SkipWithError("the start-up probe did not paint");
            return;
        }
        cpuTotal += cpuMs;
    }
    // The probe's own processor time until its first paint, all its threads.
    state.counters["probe_cpu_ms"]
        = benchmark::Counter(cpuTotal, benchmark::Counter::kAvgIterations);
}

// A folder under the scratch folder holding that many empty files.
std::string makeFolder(const QString &name, int files)
{
    const QString path = benchsupport::scratchDir() + QLatin1Char('/') + name;
    if (!QDir().mkpath(path)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
        std::exit(2);
    }
    for (int i = 0; i < files; ++i) {
        QFile f(QStringLiteral("%1/point-%2.dat").arg(path).arg(i, 4, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(f.fileName()));
            std::exit(2);
        }
    }
    return QFile::encodeName(path).toStdString();
}

} // namespace

int main(int argc, char **argv)
{
    benchsupport::init(argc, argv);
    // The window's open dialog lists the working directory while the window
    // is built, so the folder a start happens in matters: the figures are
    // taken in an empty one, and once more in a folder of 2000 files.
    const std::string empty = makeFolder(QStringLiteral("empty"), 0);
    const std::string crowded = makeFolder(QStringLiteral("crowded"), 2000);
    const auto add = [](const char *name, std::vector<std::string> args, std::string folder) {
        benchmark::RegisterBenchmark(name, BM_Start, args, folder)->Unit(benchmark::kMillisecond);
    };
    add("BM_StartUp", { "window" }, empty);
    add("BM_StartUpEnglish", { "window", "-e" }, empty);
    add("BM_StartUpNoDialogs", { "form" }, empty);
    add("BM_StartUpBareWidget", { "bare" }, empty);
    add("BM_StartUpBareLabel", { "label" }, empty);
    add("BM_StartUpIn2000Files", { "window" }, crowded);
    return benchsupport::run(argc, argv);
}
