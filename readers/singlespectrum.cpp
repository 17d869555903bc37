// SPDX-License-Identifier: GPL-3.0-or-later
#include "singlespectrum.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

// More channels than any spectrum has: keeps a crafted file small.
constexpr int maxChannels = 1 << 20;

const QRegularExpression &entryLine()
{
    static const QRegularExpression entry(
        QStringLiteral("^[#\\s]*([A-Za-z][^:=]*?)\\s*[:=]\\s*(\\S+)"));
    return entry;
}

// The name in the form that says what it is: lower case, letters and digits.
QString key(const QString &name)
{
    QString k = name.toLower();
    k.remove(QRegularExpression(QStringLiteral("[^a-z0-9]")));
    return k;
}

bool isRealTime(const QString &name)
{
    return key(name).contains(QLatin1String("realtime"));
}

bool isLiveTime(const QString &name)
{
    return key(name).contains(QLatin1String("livetime"));
}

// A row of channel and count: both numbers, the channel a whole one.
bool readRow(const QString &line, int &channel, double &count, bool &isRow)
{
    const QStringList f = splitColumnFields(line);
    bool okChannel = false;
    bool okCount = false;
    const double c = f.value(0).toDouble(&okChannel);
    isRow = okChannel;
    if (!okChannel)
        return true;
    count = f.value(1).toDouble(&okCount);
    if (f.size() != 2 || !okCount || c < 0 || c >= maxChannels || c != std::floor(c))
        return false;
    channel = int(c);
    return true;
}

QString entryOf(const QString &line, McaFile &mca)
{
    const QRegularExpressionMatch m = entryLine().match(line);
    if (!m.hasMatch())
        return QString();
    const QString name = m.captured(1).trimmed();
    bool ok = false;
    const double v = m.captured(2).toDouble(&ok);
    if (!ok) {
        mca.textEnvironment.insert(name, m.captured(2));
        return QString();
    }
    mca.environment.insert(name, v);
    if (isRealTime(name))
        mca.realTimes = { v };
    if (isLiveTime(name))
        mca.liveTimes = { v };
    return name;
}

QString i0Entry(const McaFile &mca)
{
    for (auto it = mca.environment.cbegin(); it != mca.environment.cend(); ++it) {
        const QString k = key(it.key());
        if (k == QLatin1String("i0") || k == QLatin1String("ic0") || k == QLatin1String("i0counts"))
            return it.key();
    }
    return QString();
}

} // namespace

bool looksLikeSingleSpectrum(const QByteArray &head)
{
    bool real = false;
    bool live = false;
    int rows = 0;
    for (const QByteArray &raw : head.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        int channel = 0;
        double count = 0;
        bool isRow = false;
        const bool twoNumbers = readRow(line, channel, count, isRow);
        if (isRow && !twoNumbers)
            return false;
        rows += isRow;
        const QRegularExpressionMatch m = entryLine().match(line);
        if (!isRow && m.hasMatch()) {
            real = real || isRealTime(m.captured(1));
            live = live || isLiveTime(m.captured(1));
        }
    }
    return real && live && rows > 0;
}

McaFile readSingleSpectrum(QIODevice &device)
{
    McaFile mca;
    mca.elements = 1;
    mca.counts.resize(1);
    std::vector<double> &counts = mca.counts.front();
    int lineNumber = 0;
    while (!device.atEnd()) {
        const QString line = QString::fromLatin1(device.readLine(1 << 20)).trimmed();
        ++lineNumber;
        int channel = 0;
        double count = 0;
        bool isRow = false;
        if (!readRow(line, channel, count, isRow)) {
            mca.error
                = QCoreApplication::translate("Recordings", "line %1: not a channel and a count")
                      .arg(lineNumber);
            return mca;
        }
        if (!isRow) {
            entryOf(line, mca);
            continue;
        }
        if (size_t(channel) >= counts.size())
            counts.resize(size_t(channel) + 1, 0.0);
        counts[size_t(channel)] += count;
    }
    if (mca.realTimes.empty() || mca.liveTimes.empty())
        mca.error = QCoreApplication::translate("Recordings",
                                                "no real time or no live time in the header");
    else if (counts.empty())
        mca.error = QCoreApplication::translate("Recordings", "no row of channel and count");
    return mca;
}

ScanRead readSingleSpectrumScan(QIODevice &device, const Recipe *recipe)
{
    const McaFile mca = readSingleSpectrum(device);
    ScanRead scan;
    if (!mca.ok()) {
        scan.error = mca.error;
        return scan;
    }
    Recipe r;
    if (recipe) {
        r = *recipe;
    } else {
        r.i0 = i0Entry(mca);
        r.origin = QCoreApplication::translate("Recordings",
                                               "built-in recipe of a single spectrum: all "
                                               "counts over the live and the real time, %1 as "
                                               "the incident rate")
                       .arg(r.i0);
    }
    if (r.i0.isEmpty()) {
        scan.needsRecipe = true;
        scan.error = QCoreApplication::translate("Recordings",
                                                 "a spectrum of channel and count: no entry I0 "
                                                 "in its header; give a recipe with i0 = one of "
                                                 "%1")
                         .arg(QStringList(mca.environment.keys()).join(QStringLiteral(", ")));
        return scan;
    }
    if (!r.hasWindow()) {
        r.windowLow = 0;
        r.windowHigh = int(mca.counts.front().size()) - 1;
    }
    return mcaScan(mca, &r);
}
