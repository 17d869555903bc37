// SPDX-License-Identifier: GPL-3.0-or-later
// The whole road of a batch of measurement files: the input is cut into
// several files at the record separator byte (0x1e); each is read as a spectrum
// file or else as a point table, the dead times are estimated, both output
// texts are formatted and both plots are painted, once the fast way and once
// the plain way, which must give the same pixels. The image size follows from
// the input, so that discs and lines meet the image edges at every offset.
// The three dead-time models are fitted too: every fit must end within its
// iteration bound, and one that claims success must have a finite positive
// dead time with a finite error and a finite reduced chi^2; an exact one that
// fails must give no number at all. The batch command's comparison table and
// JSON must show a dead time only with a finite error and chi^2 beside it.
#include "chartmapping.h"
#include "deadtime.h"
#include "fuzzsupport.h"
#include "channelresult.h"
#include "loader.h"
#include "modelcomparison.h"
#include "modelreport.h"
#include "plotdata.h"
#include "pointset.h"
#include "residualplot.h"
#include "resultsfile.h"
#include "scatterplot.h"

#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPainter>
#include <QRegularExpression>

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

constexpr char fileSeparator = '\x1e';
constexpr int maxFiles = 8;

struct ImageSize
{
    int width;
    int height;
};

// 16 to 271 by 12 to 203 pixels, from a hash of the input.
ImageSize imageSizeFor(const QByteArray &input)
{
    quint32 h = 2166136261u;
    for (char c : input)
        h = (h ^ quint8(c)) * 16777619u;
    return { 16 + int(h % 256), 12 + int((h >> 8) % 192) };
}

int countOf(const QByteArray &text, const char *what)
{
    return text.count(what);
}

void checkResultsText(const QByteArray &text, int chs)
{
    const QList<QByteArray> lines = text.split('\n');
    bool good = text.startsWith("# Deadtime data\r\nPreamp:") && text.endsWith("\r\n")
            && lines.size() == 4 && countOf(text, "\r") == 3 && lines[2].startsWith("Amp:");
    // "Preamp:" and "Amp:" are followed by one blank-led value per channel.
    good = good && lines[1].count(' ') == chs && lines[2].count(' ') == chs;
    if (!good)
        fail("malformed results text", QString::fromLatin1(text.toPercentEncoding(" :#")));
}

void checkConfText(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    bool good = lines.size() == 4 && lines[3].isEmpty() && !text.contains('\r')
            && lines[0].startsWith("          ") && lines[1].startsWith("ICR0    ")
            && lines[2].startsWith("S025    ");
    // Seven numbers on the first line, 19 channel fields on the others.
    good = good && lines[0].mid(10).split(' ').size() == 7
            && lines[1].mid(8).split(' ').size() == 1 + 2 * 19
            && lines[2].mid(8).split(' ').size() == 1 + 2 * 19;
    if (!good)
        fail("malformed configuration text", QString::fromLatin1(text.toPercentEncoding(" :#")));
}

QImage paint(const ScatterPlotData &data, ImageSize size, bool reference)
{
    QImage image(size.width, size.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    ChartMapping coord;
    coord.setPixelRect(0, size.height, size.width, 0);
    QPainter p(&image);
    if (reference)
        drawScatterPlotReference(p, coord, data, plotChannelColors());
    else
        drawScatterPlot(p, coord, data, plotChannelColors());
    return image;
}

void checkPlot(const ScatterPlotData &data, ImageSize size, const char *name)
{
    const QImage fast = paint(data, size, false);
    const QImage plain = paint(data, size, true);
    if (fast != plain) {
        int differing = 0;
        QString first;
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                if (fast.pixel(x, y) != plain.pixel(x, y) && differing++ == 0)
                    first = QStringLiteral("(%1, %2): %3 instead of %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(fast.pixel(x, y), 8, 16, QLatin1Char('0'))
                                    .arg(plain.pixel(x, y), 8, 16, QLatin1Char('0'));
            }
        }
        fail("fast and plain plot drawing differ",
             QStringLiteral("%1 plot %2x%3, %4 points, %5 channels: %6 pixels differ, first %7")
                     .arg(QLatin1String(name))
                     .arg(size.width)
                     .arg(size.height)
                     .arg(data.points)
                     .arg(data.chs)
                     .arg(differing)
                     .arg(first));
    }
}

void checkStageFit(const StageFit &fit, int channel)
{
    const QString where = QStringLiteral("channel %1, %2 stage, %3")
                                  .arg(channel)
                                  .arg(fit.stage == FitStage::PreAmp ? "pre-amplifier" : "amplifier")
                                  .arg(deadTimeModelName(fit.model));
    if (fit.iterations < 0 || fit.iterations > 2 * maxFitIterationsPerPass)
        fail("fit beyond its iteration bound", where + QStringLiteral(": %1").arg(fit.iterations));
    if (fit.ok) {
        if (!std::isfinite(fit.tau) || !(fit.tau > 0.0) || !std::isfinite(fit.tauStdErr)
            || !(fit.tauStdErr >= 0.0) || !std::isfinite(fit.reducedChi2))
            fail("successful fit with an unusable dead time",
                 where + QStringLiteral(": %1 +- %2, reduced chi^2 %3")
                                 .arg(fit.tau)
                                 .arg(fit.tauStdErr)
                                 .arg(fit.reducedChi2));
    } else if (fit.failure.isEmpty()) {
        fail("failed fit without a reason", where);
    } else if (fit.model != DeadTimeModel::Quadratic && !std::isnan(fit.tau)) {
        fail("failed exact fit with a dead time", where + QStringLiteral(": %1").arg(fit.tau));
    }
}

// The error shown next to a successful fit's dead time is a usable number and
// never smaller than its statistical part.
void checkUncertainty(const StageFit &fit, const TauUncertainty &u, int channel)
{
    if (!fit.ok)
        return;
    if (!std::isfinite(u.total) || !(u.total >= u.statistical) || !(u.statistical >= 0.0))
        fail("successful fit with an unusable total error",
             QStringLiteral("channel %1, %2: %3 (statistical %4)")
                     .arg(channel)
                     .arg(deadTimeModelName(fit.model))
                     .arg(u.total)
                     .arg(u.statistical));
}

void checkComparison(const QVector<ChannelComparison> &channels, int chs)
{
    if (channels.size() != chs)
        fail("comparison without one result per channel", QString::number(channels.size()));
    for (const ChannelComparison &c : channels) {
        for (const StageComparison *s : { &c.preAmp, &c.amp }) {
            bool anyOk = false;
            for (const StageFit *f : { &s->quadratic, &s->paralyzable, &s->nonParalyzable }) {
                checkStageFit(*f, c.channel);
                checkUncertainty(*f, s->uncertainty(f->model), c.channel);
                anyOk = anyOk || f->ok;
            }
            if (anyOk == (s->preferred == ModelPreference::Undecided))
                fail("model preference disagrees with the fits", QString::number(c.channel));
        }
    }
}

// A stage whose data do not determine its dead time shows neither the dead
// time nor its error, whatever the fit made of it.
void checkReportedStage(const QJsonObject &fit, const char *tau, const char *stdErr,
                        const char *chi2, const char *failure, bool undetermined, int channel)
{
    const bool shown = !fit.value(QLatin1String(tau)).isNull();
    if (undetermined) {
        if (shown || !fit.value(QLatin1String(stdErr)).isNull())
            fail("undetermined dead time reported as a number",
                 QStringLiteral("channel %1, %2").arg(channel).arg(QLatin1String(tau)));
        return;
    }
    if (shown != !fit.value(QLatin1String(stdErr)).isNull()
        || shown != !fit.value(QLatin1String(chi2)).isNull()
        || shown == fit.value(QLatin1String(failure)).isString())
        fail("reported dead time without its error, chi^2 or failure",
             QStringLiteral("channel %1, %2").arg(channel).arg(QLatin1String(tau)));
}

// What the batch command prints under --model compare, as text and as JSON.
void checkReports(const PointSet &points, const DeadTimes &dt,
                  const QVector<ChannelComparison> &comparison)
{
    const QString text = formatComparisonTable(comparison);
    for (const QString &cell : text.split(QRegularExpression(QStringLiteral("\\s+")))) {
        if (cell.contains(QLatin1String("inf")) || cell.contains(QLatin1String("nan")))
            fail("non-finite number in the comparison table", text);
    }
    ModelChoice compare;
    compare.compare = true;
    // The rows as the batch command prints them: with the comparison's
    // errors, flags and verdicts.
    QVector<ChannelResult> rows = channelResults(points, dt);
    addComparison(rows, comparison, false);
    const QJsonArray table = modelJson(compare, points.size(), points.chs(), rows, comparison)
                                     .object()
                                     .value(QStringLiteral("table"))
                                     .toArray();
    const auto undetermined = [](const QJsonObject &fit, const char *key) {
        return fit.value(QLatin1String(key)).isString();
    };
    for (const QJsonValue &value : table) {
        const QJsonObject row = value.toObject();
        const int channel = row.value(QStringLiteral("channel")).toInt();
        for (const char *model : { "quadratic", "paralyzable", "nonparalyzable" }) {
            const QJsonObject fit = row.value(QLatin1String(model)).toObject();
            checkReportedStage(fit, "tau0", "tau0StdErr", "reducedChi2I0Icr", "failureI0Icr",
                               undetermined(fit, "tau0Undetermined"), channel);
            checkReportedStage(fit, "tau", "tauStdErr", "reducedChi2IcrSca", "failureIcrSca",
                               undetermined(fit, "tauUndetermined"), channel);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startApplication(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (std::size_t(1) << 20))
        return 0;
    const QByteArray input = inputBytes(data, size);
    QList<QByteArray> files = input.split(fileSeparator);
    while (files.size() > maxFiles)
        files.removeLast();

    PointSet points;
    for (const QByteArray &file : qAsConst(files))
        loadMeasurementBytes(file, points);

    DeadTimes dt;
    const bool estimated = points.canEstimate();
    if (estimated) {
        dt = estimateDeadTimes(points);
        const int chs = points.chs();
        if (dt.tau0s.size() != chs || dt.taus.size() != chs || dt.tau0Fits.size() != chs
            || dt.tauFits.size() != chs)
            fail("estimation without one result per channel", QString::number(chs));
        for (int j = 0; j < chs; ++j) {
            if (dt.tau0Fits[j].size() != 2 || dt.tauFits[j].size() != 2)
                fail("fit without two coefficients", QString::number(j));
        }
        checkResultsText(formatResultsFile(dt.tau0s, dt.taus), chs);
        checkConfText(formatConfFile(dt.tau0s, dt.taus));
        const QVector<ChannelComparison> comparison = compareChannels(points);
        checkComparison(comparison, chs);
        checkReports(points, dt, comparison);
        // The amplifier with d0 held at 1, on every other input to keep the run fast.
        if (input.size() % 2)
            checkComparison(compareChannels(points, true), chs);

        const ImageSize residualSize = imageSizeFor(input);
        QImage image(residualSize.width, residualSize.height, QImage::Format_RGB32);
        QPainter p(&image);
        drawResidualPanel(p, image.rect(),
                          residualPanel(comparison, points, DeadTimeModel::Paralyzable,
                                        FitStage::Amp),
                          plotChannelColors());
    }

    const ImageSize imageSize = imageSizeFor(input);
    checkPlot(scatterPlotData(PlotKind::I0Nin, points, estimated, dt.tau0Fits), imageSize,
              "I0-Nin");
    checkPlot(scatterPlotData(PlotKind::NinNout, points, estimated, dt.tauFits), imageSize,
              "Nin-Nout");
    return 0;
}
