// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzzsupport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzzsupport {

bool sameDouble(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameDoubles(const QVector<double> &a, const QVector<double> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!sameDouble(a[i], b[i]))
            return false;
    }
    return true;
}

QString show(double v)
{
    return QString::number(v, 'g', 17);
}

QString show(const QVector<double> &v)
{
    QStringList parts;
    for (double x : v)
        parts.append(show(x));
    return QLatin1Char('[') + parts.join(QLatin1Char(' ')) + QLatin1Char(']');
}

void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "==== %s\n%s\n", what, detail.toLocal8Bit().constData());
    std::fflush(stderr);
    std::abort();
}

void startApplication(bool gui)
{
    // libFuzzer's own arguments are no business of the toolkit's.
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = { name, nullptr };
    if (QCoreApplication::instance())
        return;
    if (gui) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv);
    } else {
        new QCoreApplication(argc, argv);
    }
}

QString scratchFile(const QByteArray &bytes)
{
    static const QString path = [] {
        const QString shm = QStringLiteral("/dev/shm");
        const QString dir = QDir(shm).exists() ? shm : QDir::tempPath();
        // A regression run names the file after its target: the process id
        // would reach the mutations through the comparisons libFuzzer records.
        const QString name = qEnvironmentVariable("RATELENS_FUZZ_SCRATCH");
        return name.isEmpty() ? QStringLiteral("%1/ratelens-fuzz-%2.dat")
                                        .arg(dir)
                                        .arg(QCoreApplication::applicationPid())
                              : QStringLiteral("%1/ratelens-fuzz-%2.dat").arg(dir, name);
    }();
    // Gone when the run ends; a run that crashes leaves it for a look.
    struct RemoveAtExit
    {
        QString path;
        ~RemoveAtExit() { QFile::remove(path); }
    };
    static const RemoveAtExit removal { path };
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("cannot write the scratch file", path);
    return path;
}

QByteArray inputBytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

} // namespace fuzzsupport
