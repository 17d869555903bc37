// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchsupport.h"

#include "benchdata.h"

#include <QTemporaryDir>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

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

double parseLimit(const char *path, long &fields)
{
    std::FILE *f = std::fopen(path, "rb");
    if (!f)
        return -1.0;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::string text(size_t(size), '\0');
    const size_t got = std::fread(text.data(), 1, text.size(), f);
    std::fclose(f);
    text.resize(got);

    auto isSpace = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; };
    double sum = 0.0;
    fields = 0;
    const char *p = text.data();
    const char *end = p + text.size();
    while (p < end) {
        while (p < end && isSpace(*p))
            ++p;
        const char *start = p;
        while (p < end && !isSpace(*p))
            ++p;
        if (p == start)
            break;
        double v;
        if (std::from_chars(start, p, v).ec == std::errc()) {
            sum += v;
            ++fields;
        }
    }
    return sum;
}


} // namespace benchsupport
