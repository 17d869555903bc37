// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrunner.h"

#include "channelresult.h"
#include "loader.h"
#include "modelreport.h"
#include "plotrender.h"
#include "pointset.h"
#include "residualplot.h"
#include "resultsfile.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextStream>

namespace {

const char *const programName = "ratelens-batch";

// Large enough for any print, small enough that a typing slip cannot ask for
// gigabytes of image.
constexpr int maxPlotSide = 20000;

QString description()
{
    return QStringLiteral(
            "Loads measurement files as the Ratelens window's \"Read File(s)\" does - each FILE\n"
            "as a spectrum file if it is one, otherwise as a point table, in the order given -\n"
            "estimates the dead times of every channel and prints one line per channel:\n"
            "  channel     channel index, from 0\n"
            "  tau0        pre-amplifier dead time -b/a^2 of the fit ICR = a*I0 + b*I0^2\n"
            "  tau         amplifier dead time -d1/d0 of the fit SCA = d0*ICR + d1*ICR^2\n"
            "  a, b        coefficients of the I0 -> ICR fit\n"
            "  tau0StdErr  standard error of tau0\n"
            "  r2I0Icr     R^2 of the I0 -> ICR fit\n"
            "  d0, d1      coefficients of the ICR -> SCA fit\n"
            "  tauStdErr   standard error of tau\n"
            "  r2IcrSca    R^2 of the ICR -> SCA fit\n"
            "\n"
            "Both fits are unweighted least squares without constant term over all points.\n"
            "Standard errors: with n points and RSS the residual sum of squares, the residual\n"
            "variance is s^2 = RSS/(n-2); the covariance C of the coefficients (a, b) is\n"
            "s^2 (X^T X)^-1, X having the columns x and x^2; the delta method then gives\n"
            "sqrt(g^T C g), g the gradient of tau0 = -b/a^2 (or of tau = -d1/d0) with respect\n"
            "to the two coefficients. With only two points they are undefined (nan).\n"
            "R^2 is the centred 1 - RSS/sum((y - mean y)^2), not the uncentred\n"
            "1 - RSS/sum(y^2), which is close to 1 for any fit through the origin of data far\n"
            "from it; the centred one can be negative for a poor fit.\n"
            "Numbers have six significant digits; --json gives them in full, nan and inf as\n"
            "null.\n"
            "\n"
            "Models (--model). The quadratic fits above are the low-rate expansion of the\n"
            "counting-loss laws and come out too low once a stage loses more than a few per\n"
            "cent of its input. A stage that sees the true rate n and is dead for tau after\n"
            "each counted event counts\n"
            "  paralyzable     m = n*exp(-n*tau)   (every event restarts the dead time)\n"
            "  nonparalyzable  m = n/(1 + n*tau)   (events in the dead time are lost)\n"
            "fitted for both stages: ICR = f(a*I0; tau0) and SCA = d0*f(ICR; tau). Each is a\n"
            "weighted nonlinear least-squares fit (Levenberg-Marquardt, started from the\n"
            "quadratic, at most 100 steps in each of two passes). Weights follow\n"
            "counting statistics: the variance of a value is taken proportional to the value\n"
            "(the fitted one in the second pass), the factor estimated from the residuals as\n"
            "the reduced chi^2 = chi^2/(n-2); the standard errors are the square roots of the\n"
            "fit's covariance diagonal times the reduced chi^2, so they hold whatever the\n"
            "counting time. The reduced chi^2 is about 1 for counts, 1/T for rates over T\n"
            "seconds; the quadratic's is computed with the same weights for comparison.\n"
            "A fit that fails (fewer than 3 points, bad values, no convergence, tau not\n"
            "finite and positive, its error or reduced chi^2 not finite) prints \"failed\"\n"
            "(null in JSON) and its reason on standard error; a failed quadratic keeps its\n"
            "dead time only in the quadratic table (text and JSON) and the results file, as\n"
            "in the window's result row.\n"
            "--model compare prints per channel and stage (tau0, tau) the\n"
            "three models' tau, stdErr and reducedChi2, the preferred exact model\n"
            "(\"indistinguishable\" when their chi^2 differ by less than 9 times the smaller\n"
            "reduced chi^2) and the flags: fit-failed, tau-nonpositive, outlier (more than 5\n"
            "median absolute deviations from the other channels), noisy (reduced chi^2 over\n"
            "4 times the others'), quadratic-biased (quadratic tau more than 2 of its\n"
            "standard errors from the better exact fit's), saturated (the scan passes the\n"
            "paralyzable maximum n*tau = 1). --json adds \"model\", the reduced chi^2 of\n"
            "both fits and the channel's \"flags\" to every row.\n"
            "\n"
            "Exit status: 0 success; 1 no estimation possible (fewer than two points, or fewer\n"
            "than two channels common to all points; then no results file is written, only\n"
            "the plot if asked for); 2 usage error; 3 a results file or the plot image could\n"
            "not be written. A file that cannot be read is named on standard error and the\n"
            "batch goes on with the others.");
}

QTextStream &message(QTextStream &err)
{
    err << programName << ": ";
    return err;
}

int usageError(QTextStream &err, const QString &text)
{
    message(err) << text << '\n';
    err << "Try '" << programName << " --help' for more information.\n";
    err.flush();
    return BatchUsageError;
}

bool parseSize(const QString &text, QSize &size)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,6})[xX](\\d{1,6})$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    const int w = m.captured(1).toInt();
    const int h = m.captured(2).toInt();
    if (w < 1 || h < 2 || w > maxPlotSide || h > maxPlotSide)
        return false;
    size = QSize(w, h);
    return true;
}

} // namespace

int runBatch(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    const QCommandLineOption helpOption(
            { QStringLiteral("h"), QStringLiteral("help") },
            QStringLiteral("Show this help and exit."));
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           QStringLiteral("Show the version and exit."));
    const QCommandLineOption outputOption(
            { QStringLiteral("o"), QStringLiteral("output") },
            QStringLiteral("Write the results file FILE and its companion FILE.conf, byte for byte "
                           "as the window's \"Save\" writes them."),
            QStringLiteral("FILE"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print the table as JSON instead of text."));
    const QCommandLineOption plotOption(
            QStringLiteral("plot"),
            QStringLiteral("Draw both plots, I0-Nin above Nin-Nout, into the PNG image FILE, each "
                           "with its title, tick numbers, axis titles and a legend of the "
                           "channel colours."),
            QStringLiteral("FILE"));
    const QCommandLineOption barePlotOption(
            QStringLiteral("bare-plot"),
            QStringLiteral("Draw the plots without axes and legend, exactly as the window shows "
                           "them until asked for axes."));
    const QCommandLineOption sizeOption(
            QStringLiteral("size"),
            QStringLiteral("Size of the plot image in pixels, each plot taking half the height "
                           "(default 1500x700)."),
            QStringLiteral("WxH"), QStringLiteral("1500x700"));
    const QCommandLineOption verboseOption(
            QStringLiteral("verbose"),
            QStringLiteral("Print the point-table reader's header search and the files it cannot "
                           "open to standard error, in the form of the window's debug lines."));
    const QCommandLineOption modelOption(
            QStringLiteral("model"),
            QStringLiteral("Dead-time model: quadratic (default), paralyzable, nonparalyzable, or "
                           "compare for all three side by side."),
            QStringLiteral("MODEL"), QStringLiteral("quadratic"));
    const QCommandLineOption residualsOption(
            QStringLiteral("residuals"),
            QStringLiteral("With --plot, add the normalised residuals of the model's fits (of "
                           "each model with compare) against I0 and against ICR below the "
                           "plots."));
    parser.addOptions({ helpOption, versionOption, outputOption, jsonOption, plotOption,
                        barePlotOption, sizeOption, verboseOption, modelOption,
                        residualsOption });
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("Measurement files, loaded in this order."),
                                 QStringLiteral("FILE..."));

    if (!parser.parse(arguments))
        return usageError(err, parser.errorText());
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        out.flush();
        return BatchOk;
    }
    if (parser.isSet(versionOption)) {
        out << programName << ' ' << RATELENS_VERSION << '\n';
        out.flush();
        return BatchOk;
    }

    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usageError(err, QStringLiteral("no measurement file given"));
    QSize plotSize;
    if (!parseSize(parser.value(sizeOption), plotSize))
        return usageError(err,
                          QStringLiteral("invalid plot size '%1': expected WxH, for example "
                                         "1500x700, each side at most %2 and the height at least 2")
                                  .arg(parser.value(sizeOption))
                                  .arg(maxPlotSide));
    const QString outputPath = parser.value(outputOption);
    if (parser.isSet(outputOption) && outputPath.isEmpty())
        return usageError(err, QStringLiteral("the results file name is empty"));
    const QString plotPath = parser.value(plotOption);
    if (parser.isSet(plotOption) && plotPath.isEmpty())
        return usageError(err, QStringLiteral("the plot file name is empty"));
    const std::optional<ModelChoice> choice = parseModelChoice(parser.value(modelOption));
    if (!choice)
        return usageError(err,
                          QStringLiteral("unknown model '%1': expected quadratic, paralyzable, "
                                         "nonparalyzable or compare")
                                  .arg(parser.value(modelOption)));
    if (choice->compare && !outputPath.isEmpty())
        return usageError(err, QStringLiteral("--output writes the dead times of one model, not of "
                                              "--model compare"));
    const bool residuals = parser.isSet(residualsOption);
    if (residuals && plotPath.isEmpty())
        return usageError(err, QStringLiteral("--residuals needs --plot"));
    QVector<DeadTimeModel> models;
    if (choice->compare)
        models = { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable,
                   DeadTimeModel::NonParalyzable };
    else
        models = { choice->model };

    TraceSink trace;
    if (parser.isSet(verboseOption))
        trace = [&err](const QString &line) { err << line << '\n'; };
    PointSet points;
    for (const FileReport &file : loadMeasurementFiles(files, points, trace)) {
        if (!file.open.opened())
            message(err) << "cannot read " << file.path << ": " << problemText(file) << '\n';
        else if (!file.gavePoints())
            message(err) << "no measurement point in " << file.path << '\n';
    }

    int status = BatchOk;
    DeadTimes dt;
    QVector<ChannelComparison> comparison;
    if (!points.canEstimate()) {
        if (points.size() < 2)
            message(err) << "no estimation: " << points.size()
                         << " measurement point(s) loaded, at least two are needed\n";
        else
            message(err) << "no estimation: the points have " << points.chs()
                         << " channel(s) in common, at least two are needed\n";
        status = BatchNoEstimate;
    } else {
        dt = estimateDeadTimes(points);
        const QVector<ChannelResult> rows = channelResults(points, dt);
        // The quadratic text table needs none of the exact fits.
        const bool quadraticOnly = !choice->compare && choice->model == DeadTimeModel::Quadratic;
        if (!quadraticOnly || parser.isSet(jsonOption) || residuals)
            comparison = compareChannels(points);
        if (parser.isSet(jsonOption))
            out << modelJson(*choice, points.size(), points.chs(), rows, comparison)
                            .toJson(QJsonDocument::Indented);
        else if (choice->compare)
            out << formatComparisonTable(comparison);
        else if (quadraticOnly)
            out << formatResultTable(rows);
        else
            out << formatExactTable(choice->model, comparison);
        out.flush();
        for (const QString &line : failedFitLines(comparison, models))
            message(err) << line << '\n';

        if (!outputPath.isEmpty()) {
            QVector<double> tau0s = dt.tau0s;
            QVector<double> taus = dt.taus;
            if (!quadraticOnly) {
                // A failed fit is written as nan, the results file's word for
                // a value that is not a number.
                for (const ChannelComparison &c : qAsConst(comparison)) {
                    const StageFit &pre = c.preAmp.fit(choice->model);
                    const StageFit &amp = c.amp.fit(choice->model);
                    tau0s[c.channel] = pre.ok ? pre.tau : qQNaN();
                    taus[c.channel] = amp.ok ? amp.tau : qQNaN();
                }
            }
            const SaveOutcome saved = saveResultsFiles(outputPath, tau0s, taus);
            if (!saved.resultsWritten)
                message(err) << "cannot write " << outputPath << '\n';
            if (!saved.confWritten)
                message(err) << "cannot write " << outputPath << ".conf\n";
            if (!saved.resultsWritten || !saved.confWritten)
                status = BatchOutputError;
        }
    }

    if (!plotPath.isEmpty()) {
        const DeadTimes *fits = points.canEstimate() ? &dt : nullptr;
        if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
            message(err) << "cannot draw the plot without a graphical application object\n";
            status = BatchOutputError;
        } else if (!(residuals && fits
                             ? appendResidualPanels(
                                     renderPlots(points, fits, plotSize,
                                                 !parser.isSet(barePlotOption)),
                                     comparison, points, models, plotSize.height() / 2)
                             : renderPlots(points, fits, plotSize, !parser.isSet(barePlotOption)))
                            .save(plotPath, "PNG")) {
            message(err) << "cannot write " << plotPath << '\n';
            status = BatchOutputError;
        }
    }
    err.flush();
    return status;
}
