// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrunner.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool platformChosen(int argc, char **argv)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
}

// Only the plot needs the graphics side of the toolkit; starting it costs time
// and, outside a desktop session, prints warnings about the environment.
bool plotRequested(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--plot") == 0 || std::strncmp(argv[i], "--plot=", 7) == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<QCoreApplication> app;
    if (plotRequested(argc, argv)) {
        // Plots are drawn on images, never shown: no display is needed, so
        // unless the user chose a platform the program must not look for one.
        if (!platformChosen(argc, argv))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("ratelens-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RATELENS_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = runBatch(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return status;
}
