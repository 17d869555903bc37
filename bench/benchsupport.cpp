// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchsupport.h"

#include "benchdata.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace benchsupport {

void init(int &argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
}

int run(int argc, char **argv)
{
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

QString scratchDir()
{
    static std::unique_ptr<QTemporaryDir> dir;
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid()) {
            std::fprintf(stderr, "cannot create a temporary folder\n");
            std::exit(2);
        }
    }
    return dir->path();
}

QString writeScratch(const QString &name, const QByteArray &bytes)
{
    const QString path = scratchDir() + QLatin1Char('/') + name;
    if (!benchdata::writeFile(path, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
    return path;
}

} // namespace benchsupport
