// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrunner.h"

#include "batchoptions.h"
#include "channelresult.h"
#include "correctcommand.h"
#include "deadtimesfile.h"
#include "loader.h"
#include "modelreport.h"
#include "plotrender.h"
#include "pointset.h"
#include "recipe.h"
#include "residualplot.h"
#include "resultsfile.h"
#include "samefile.h"
#include "verdictreport.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QJsonObject>
#include <QTextStream>

#include <optional>
#include <utility>

namespace {

// The recipe of --recipe; nothing, with the reason on err, if it cannot be
// read or does not parse.
std::optional<Recipe> readRecipeFile(const QString &path, QTextStream &err)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        batchMessage(err) << "cannot read the recipe " << path << ": " << file.errorString()
                          << '\n';
        return std::nullopt;
    }
    RecipeParse parsed = parseRecipe(QString::fromUtf8(file.readAll()));
    if (!parsed.ok()) {
        batchMessage(err) << path << ": ";
        if (parsed.line > 0)
            err << "line " << parsed.line << ": ";
        err << parsed.error << '\n';
        return std::nullopt;
    }
    parsed.recipe.origin = QStringLiteral("recipe %1").arg(path);
    return parsed.recipe;
}

// Names on err a file that gave nothing and why, and the notes of a file
// read through a recipe; false for a file that a recording reader rejected.
bool reportFile(const BatchOptions &o, const FileReport &file, QTextStream &err)
{
    if (!file.open.opened())
        batchMessage(err) << "cannot read " << file.path << ": " << problemText(file) << '\n';
    else if (file.refused && file.needsRecipe)
        batchMessage(err) << file.path << ": not read: " << file.error
                          << "; give a recipe with --recipe, or --point-table to read it as a "
                             "point table\n";
    else if (file.refused)
        batchMessage(err) << file.path << ": not read: " << file.error << '\n';
    else if (!file.error.isEmpty())
        batchMessage(err) << file.path << ": " << file.error << '\n';
    else if (!file.gavePoints())
        batchMessage(err) << "no measurement point in " << file.path << '\n';
    for (const QString &warning : file.warnings)
        batchMessage(err) << file.path << ": " << warning << '\n';
    for (const QString &note : file.notes) {
        if (o.verbose)
            batchMessage(err) << file.path << ": " << note << '\n';
    }
    if (o.verbose && !file.recipeText.isEmpty() && file.error.isEmpty())
        err << file.recipeText;
    return file.error.isEmpty();
}

// A results file read as a point table gives a point of one channel per line,
// which narrows every other file's points to channel 0; a second run over
// "*.dat" in the folder of the first one's -o would meet it.
bool isResultsFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray first = file.readLine(64);
    return first.startsWith(resultsFileFirstLine)
            && first.mid(int(sizeof resultsFileFirstLine) - 1).trimmed().isEmpty();
}

// The named files but the results files of an earlier run, which are named
// on err as left out.
QStringList measurementFiles(const QStringList &files, QTextStream &err)
{
    QStringList measurements;
    for (const QString &path : files) {
        if (isResultsFile(path))
            batchMessage(err) << path << " is a results file (\"" << resultsFileFirstLine
                              << "\"), not a measurement: left out\n";
        else
            measurements.append(path);
    }
    return measurements;
}

// Loads the files in the order given, as the window's "Read File(s)" does,
// and names on err each file that gave nothing. Says whether every file gave
// points, and whether the recipe and every recording could be read.
struct LoadVerdict
{
    bool complete = true; // every file gave points
    bool allRead = true;  // the recipe and every recording could be read
    // The texts of the recipes the files were read through, each once: a
    // built-in one is part of the provenance as much as a given one.
    QStringList recipeTexts;
};

LoadVerdict loadPoints(const BatchOptions &o, PointSet &points, QTextStream &err)
{
    TraceSink trace;
    if (o.verbose)
        trace = [&err](const QString &line) { err << line << '\n'; };
    LoadOptions options;
    std::optional<Recipe> recipe;
    if (!o.recipePath.isEmpty()) {
        recipe = readRecipeFile(o.recipePath, err);
        if (!recipe)
            return LoadVerdict { false, false, {} };
        options.recipe = &*recipe;
    }
    options.columns = o.columns;
    options.pointTable = o.pointTable;
    options.scan = o.scan;
    // A file read as a point table of one channel when it is none gives
    // dead times that look like any others: the command refuses it instead.
    options.unrecognised = LoadOptions::Unrecognised::Refuse;
    LoadVerdict verdict;
    for (const FileReport &file : loadMeasurementFiles(o.files, points, trace, options)) {
        verdict.allRead = reportFile(o, file, err) && verdict.allRead;
        if (!file.recipeText.isEmpty() && !verdict.recipeTexts.contains(file.recipeText))
            verdict.recipeTexts.append(file.recipeText);
        verdict.complete = verdict.complete && file.open.opened() && file.gavePoints();
    }
    return verdict;
}

QString channelList(const QVector<int> &channels)
{
    QStringList names;
    for (int j : channels)
        names << QString::number(j);
    return names.join(QStringLiteral(", "));
}

// The mask of --exclude over the channels there are; names the channels
// that do not exist.
QVector<bool> leftOutChannels(const BatchOptions &o, int chs, QTextStream &err)
{
    QVector<bool> leftOut(chs, false);
    QVector<int> missing;
    for (int j : o.excluded) {
        if (j < chs)
            leftOut[j] = true;
        else
            missing.append(j);
    }
    if (!missing.isEmpty())
        batchMessage(err) << "no channel " << channelList(missing) << " to leave out: the points have "
                          << chs << " channel(s)\n";
    return leftOut;
}

void reportNoEstimate(const PointSet &points, QTextStream &err)
{
    if (points.size() < 2)
        batchMessage(err) << "no estimation: " << points.size()
                          << " measurement point(s) loaded, at least two are needed\n";
    else
        batchMessage(err) << "no estimation: the points have no channel in common\n";
}

// The JSON report is also the dead-time file that the correct sub-command reads.
QByteArray jsonReport(const BatchOptions &o, const PointSet &points,
                      const QVector<ChannelResult> &rows,
                      const QVector<ChannelComparison> &comparison, const QStringList &usedRecipes)
{
    QJsonObject root = modelJson(o.choice, points.size(), points.chs(), rows, comparison).object();
    QString recipe = usedRecipes.join(QLatin1Char('\n'));
    QFile recipeFile(o.recipePath);
    if (!o.recipePath.isEmpty() && recipeFile.open(QIODevice::ReadOnly | QIODevice::Text))
        recipe = QString::fromUtf8(recipeFile.readAll());
    addDeadTimesFileKeys(root, o.models(), comparison,
                         provenanceOf(o.files, recipe, QStringLiteral(RATELENS_VERSION)));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void printTable(const BatchOptions &o, const PointSet &points, const DeadTimes &dt,
                const QVector<ChannelComparison> &comparison, const QVector<bool> &leftOut,
                const QStringList &usedRecipes, QTextStream &out)
{
    QVector<ChannelResult> rows = channelResults(points, dt);
    addComparison(rows, comparison, o.fixD0);
    for (ChannelResult &r : rows)
        r.excluded = leftOut.value(r.channel);
    if (o.json)
        out << jsonReport(o, points, rows, comparison, usedRecipes);
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
                 const QVector<ChannelComparison> &comparison, const QVector<bool> &leftOut,
                 QTextStream &err)
{
    ResultsFileValues v = obeyVerdicts(dt.tau0s, dt.taus,
                                       stageVerdicts(comparison, FitStage::PreAmp),
                                       stageVerdicts(comparison, FitStage::Amp), leftOut);
    QVector<double> &tau0s = v.tau0s;
    QVector<double> &taus = v.taus;
    for (const ChannelComparison &c : comparison) {
        const StageFit &pre = c.preAmp.fit(o.choice.model);
        const StageFit &amp = c.amp.fit(o.choice.model);
        // A failed fit is written as nan, the results file's word for a value
        // that is not a number; the quadratic keeps its numbers.
        const bool quadratic = o.choice.model == DeadTimeModel::Quadratic;
        if (!quadratic && !c.preAmp.undetermined())
            tau0s[c.channel] = pre.ok ? pre.tau : qQNaN();
        if (!quadratic && !c.amp.undetermined())
            taus[c.channel] = amp.ok ? amp.tau : qQNaN();
    }
    const QVector<int> nonFinite = nonFiniteChannels(tau0s, taus, v.omitted);
    if (!nonFinite.isEmpty())
        batchMessage(err) << "channel(s) " << channelList(nonFinite) << " left out of the mean line of "
                          << o.outputPath << ".conf: dead time not finite\n";
    const SaveOutcome saved = saveResultsFiles(o.outputPath, tau0s, taus, v.omitted);
    if (!saved.resultsWritten)
        batchMessage(err) << "cannot write " << o.outputPath << '\n';
    if (!saved.confWritten)
        batchMessage(err) << "cannot write " << o.outputPath << ".conf\n";
    return saved.resultsWritten && saved.confWritten ? BatchOk : BatchOutputError;
}

// The quadratic amplifier dead times of the fits with d0 = 1, for the files
// and the plot.
void useUnitScale(DeadTimes &dt, const QVector<ChannelComparison> &comparison)
{
    for (const ChannelComparison &c : comparison) {
        const double tau = c.amp.quadratic.tau;
        dt.taus[c.channel] = tau;
        dt.tauFits[c.channel] = { 1.0, -tau };
    }
}

// Names a file whose points have more channels than others, and one of the
// fewest: only the channels all points have are estimated, as in the window.
void reportChannelSpread(const PointSet &points, QTextStream &err)
{
    const ChannelSpread spread = channelSpread(points);
    if (spread.fewest < 0)
        return;
    batchMessage(err) << "channel counts differ: " << points.source(spread.most).file << " has "
                      << points.channelsOf(spread.most) << ", "
                      << points.source(spread.fewest).file << " has "
                      << points.channelsOf(spread.fewest) << "; only the " << points.chs()
                      << " channel(s) all points have are estimated\n";
}

// Estimates, prints and saves; fits stays null when the points cannot be
// estimated.
int estimate(const BatchOptions &o, const PointSet &points, const QStringList &usedRecipes,
             DeadTimes &dt, QVector<ChannelComparison> &comparison, QTextStream &out,
             QTextStream &err)
{
    if (!points.canEstimateEachChannel()) {
        reportNoEstimate(points, err);
        return BatchNoEstimate;
    }
    dt = estimateDeadTimes(points);
    // Every report shows the errors with their parts and the flags, which
    // need all three models.
    comparison = compareChannels(points, o.fixD0);
    if (o.fixD0)
        useUnitScale(dt, comparison);
    const QVector<bool> leftOut = leftOutChannels(o, points.chs(), err);
    printTable(o, points, dt, comparison, leftOut, usedRecipes, out);
    for (const QString &line : leftOutPointLines(points, comparison))
        batchMessage(err) << line << '\n';
    for (const QString &line : failedFitLines(comparison, o.models()))
        batchMessage(err) << line << '\n';
    // A dead time the data do not give makes the answer incomplete, as a
    // file that gave nothing does: a script must be able to tell.
    const QStringList undetermined = undeterminedLines(comparison, leftOut);
    for (const QString &line : undetermined)
        batchMessage(err) << line << '\n';
    const int status = undetermined.isEmpty() ? BatchOk : BatchIncomplete;
    if (o.outputPath.isEmpty())
        return status;
    const int written = writeResults(o, dt, comparison, leftOut, err);
    return written != BatchOk ? written : status;
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
    // By its suffix where a writer knows it (.jpg, .bmp), as the window's
    // plot image; PNG for any other name.
    const QByteArray suffix = QFileInfo(o.plotPath).suffix().toLower().toLatin1();
    const QByteArray format
            = QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray("png");
    if (!image.save(o.plotPath, format.constData())) {
        batchMessage(err) << "cannot write " << o.plotPath << '\n';
        return BatchOutputError;
    }
    return BatchOk;
}

// Refuses, before anything is read, outputs that would destroy a recording,
// the recipe or one another (a swapped argument writes over the measurement).
// A results file of an earlier run, left out of o.files, may be written anew.
bool outputsClear(const BatchOptions &o, QTextStream &err)
{
    QVector<std::pair<QString, QString>> outputs; // what, path
    if (!o.outputPath.isEmpty()) {
        if (QFileInfo(o.outputPath).isDir() || o.outputPath.endsWith(QLatin1Char('/'))) {
            batchMessage(err) << "-o " << o.outputPath << " is a folder, not a results file\n";
            return false;
        }
        outputs.append({ QStringLiteral("the results file"), o.outputPath });
        outputs.append({ QStringLiteral("its companion"), o.outputPath + QStringLiteral(".conf") });
    }
    if (!o.plotPath.isEmpty())
        outputs.append({ QStringLiteral("the plot"), o.plotPath });
    QStringList inputs = o.files;
    if (!o.recipePath.isEmpty())
        inputs << o.recipePath;
    for (int k = 0; k < outputs.size(); ++k) {
        const QString &path = outputs[k].second;
        for (const QString &input : inputs) {
            if (sameFile(path, input)) {
                batchMessage(err) << outputs[k].first << ' ' << path << " would overwrite the input "
                                  << input << '\n';
                return false;
            }
        }
        for (int l = 0; l < k; ++l) {
            if (sameFile(path, outputs[l].second)) {
                batchMessage(err) << outputs[k].first << ' ' << path << " would overwrite "
                                  << outputs[l].first << ' ' << outputs[l].second << '\n';
                return false;
            }
        }
    }
    return true;
}

} // namespace

int runBatch(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("correct"))
        return runCorrect(QStringList { arguments.at(0) } + arguments.mid(2), out, err);
    int status = BatchOk;
    const std::optional<BatchOptions> options = parseBatchOptions(arguments, out, err, &status);
    if (!options)
        return status;
    // From here on the files are the measurements among those named.
    BatchOptions o = *options;
    o.files = measurementFiles(o.files, err);
    if (!outputsClear(o, err)) {
        err.flush();
        return BatchUsageError;
    }

    PointSet points;
    const LoadVerdict loaded = loadPoints(o, points, err);
    if (!loaded.allRead && points.isEmpty()) {
        err.flush();
        return BatchInputError;
    }
    reportChannelSpread(points, err);
    DeadTimes dt;
    QVector<ChannelComparison> comparison;
    status = estimate(o, points, loaded.recipeTexts, dt, comparison, out, err);
    if (!o.plotPath.isEmpty()) {
        const int plotted =
                writePlot(o, points, points.canEstimateEachChannel() ? &dt : nullptr, comparison,
                          err);
        if (plotted != BatchOk)
            status = plotted;
    }
    // Files that gave nothing while the others were estimated: a script must
    // be able to tell that the answer is not of every file it named.
    if (status == BatchOk && !loaded.complete)
        status = BatchIncomplete;
    err.flush();
    return status;
}
