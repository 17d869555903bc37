// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrunner.h"

#include "batchoptions.h"
#include "channelresult.h"
#include "loader.h"
#include "modelreport.h"
#include "plotrender.h"
#include "pointset.h"
#include "residualplot.h"
#include "resultsfile.h"

#include <QGuiApplication>
#include <QTextStream>

namespace {

// Loads the files in the order given, as the window's "Read File(s)" does,
// and names on err each file that gave nothing.
void loadPoints(const BatchOptions &o, PointSet &points, QTextStream &err)
{
    TraceSink trace;
    if (o.verbose)
        trace = [&err](const QString &line) { err << line << '\n'; };
    for (const FileReport &file : loadMeasurementFiles(o.files, points, trace)) {
        if (!file.open.opened())
            batchMessage(err) << "cannot read " << file.path << ": " << problemText(file) << '\n';
        else if (!file.gavePoints())
            batchMessage(err) << "no measurement point in " << file.path << '\n';
    }
}

void reportNoEstimate(const PointSet &points, QTextStream &err)
{
    if (points.size() < 2)
        batchMessage(err) << "no estimation: " << points.size()
                          << " measurement point(s) loaded, at least two are needed\n";
    else
        batchMessage(err) << "no estimation: the points have " << points.chs()
                          << " channel(s) in common, at least two are needed\n";
}

void printTable(const BatchOptions &o, const PointSet &points, const DeadTimes &dt,
                const QVector<ChannelComparison> &comparison, QTextStream &out)
{
    const QVector<ChannelResult> rows = channelResults(points, dt);
    if (o.json)
        out << modelJson(o.choice, points.size(), points.chs(), rows, comparison)
                        .toJson(QJsonDocument::Indented);
    else if (o.choice.compare)
        out << formatComparisonTable(comparison);
    else if (o.quadraticOnly())
        out << formatResultTable(rows);
    else
        out << formatExactTable(o.choice.model, comparison);
    out.flush();
}

// The results file and its companion, of the chosen model's dead times.
int writeResults(const BatchOptions &o, const DeadTimes &dt,
                 const QVector<ChannelComparison> &comparison, QTextStream &err)
{
    QVector<double> tau0s = dt.tau0s;
    QVector<double> taus = dt.taus;
    if (!o.quadraticOnly()) {
        // A failed fit is written as nan, the results file's word for a value
        // that is not a number.
        for (const ChannelComparison &c : comparison) {
            const StageFit &pre = c.preAmp.fit(o.choice.model);
            const StageFit &amp = c.amp.fit(o.choice.model);
            tau0s[c.channel] = pre.ok ? pre.tau : qQNaN();
            taus[c.channel] = amp.ok ? amp.tau : qQNaN();
        }
    }
    const SaveOutcome saved = saveResultsFiles(o.outputPath, tau0s, taus);
    if (!saved.resultsWritten)
        batchMessage(err) << "cannot write " << o.outputPath << '\n';
    if (!saved.confWritten)
        batchMessage(err) << "cannot write " << o.outputPath << ".conf\n";
    return saved.resultsWritten && saved.confWritten ? BatchOk : BatchOutputError;
}

// Estimates, prints and saves; fits stays null when the points cannot be
// estimated.
int estimate(const BatchOptions &o, const PointSet &points, DeadTimes &dt,
             QVector<ChannelComparison> &comparison, QTextStream &out, QTextStream &err)
{
    if (!points.canEstimate()) {
        reportNoEstimate(points, err);
        return BatchNoEstimate;
    }
    dt = estimateDeadTimes(points);
    if (!o.quadraticOnly() || o.json || o.residuals)
        comparison = compareChannels(points);
    printTable(o, points, dt, comparison, out);
    for (const QString &line : failedFitLines(comparison, o.models()))
        batchMessage(err) << line << '\n';
    if (o.outputPath.isEmpty())
        return BatchOk;
    return writeResults(o, dt, comparison, err);
}

int writePlot(const BatchOptions &o, const PointSet &points, const DeadTimes *fits,
              const QVector<ChannelComparison> &comparison, QTextStream &err)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        batchMessage(err) << "cannot draw the plot without a graphical application object\n";
        return BatchOutputError;
    }
    QImage image = renderPlots(points, fits, o.plotSize, !o.barePlot);
    if (o.residuals && fits)
        image = appendResidualPanels(image, comparison, points, o.models(),
                                     o.plotSize.height() / 2);
    if (!image.save(o.plotPath, "PNG")) {
        batchMessage(err) << "cannot write " << o.plotPath << '\n';
        return BatchOutputError;
    }
    return BatchOk;
}

} // namespace

int runBatch(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    int status = BatchOk;
    const std::optional<BatchOptions> options = parseBatchOptions(arguments, out, err, &status);
    if (!options)
        return status;
    const BatchOptions &o = *options;

    PointSet points;
    loadPoints(o, points, err);
    DeadTimes dt;
    QVector<ChannelComparison> comparison;
    status = estimate(o, points, dt, comparison, out, err);
    if (!o.plotPath.isEmpty()) {
        const int plotted =
                writePlot(o, points, points.canEstimate() ? &dt : nullptr, comparison, err);
        if (plotted != BatchOk)
            status = plotted;
    }
    err.flush();
    return status;
}
