// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchoptions.h"

#include "optiontable.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace {

// Large enough for any print, small enough that a typing slip cannot ask for
// gigabytes of image.
constexpr int maxPlotSide = 20000;

QString description()
{
    return QStringLiteral(
            "Loads measurement files as the Ratelens window's \"Read File(s)\" does - each FILE\n"
            "as a spectrum file if it is one, otherwise as a point table or the recording it\n"
            "is (see Recordings), in the order given -\n"
            "estimates the dead times of every channel and prints one line per channel:\n"
            "  channel     channel index, from 0\n"
            "  tau0        pre-amplifier dead time -b/a^2 of the fit ICR = a*I0 + b*I0^2\n"
            "  tau         amplifier dead time -d1/d0 of the fit SCA = d0*ICR + d1*ICR^2\n"
            "  a, b        coefficients of the I0 -> ICR fit\n"
            "  tau0StdErr  error of tau0: the total described under Uncertainty\n"
            "  r2I0Icr     R^2 of the I0 -> ICR fit\n"
            "  d0, d1      coefficients of the ICR -> SCA fit\n"
            "  tauStdErr   error of tau: the total described under Uncertainty\n"
            "  r2IcrSca    R^2 of the ICR -> SCA fit\n"
            "  aStdErr, d0StdErr  standard errors of a and d0\n"
            "  flags       each stage's flags, as tau0:FLAG,...;tau:FLAG,... (- for none)\n"
            "\n"
            "Both fits are unweighted least squares without constant term over all points.\n"
            "Statistical errors: with n points and RSS the residual sum of squares, the\n"
            "residual variance is s^2 = RSS/(n-2); the covariance C of the coefficients is\n"
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
            "weighted nonlinear least-squares fit (GSL trust region, Levenberg-Marquardt\n"
            "steps, started from the linearised law, at most 100 iterations in each of two\n"
            "passes). Weights follow\n"
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
            "three models' tau, stdErr and reducedChi2, then their scales (a or d0) with\n"
            "their standard errors, the preferred model (below) and the stage's flags:\n"
            "fit-failed, tau-nonpositive, outlier (more than 5 median absolute deviations\n"
            "from the other channels), noisy (reduced chi^2 over 4 times the others'),\n"
            "quadratic-biased (below), saturated (the scan passes the paralyzable maximum\n"
            "n*tau = 1) and those below. --json adds \"model\", the reduced chi^2 of both\n"
            "fits, the channel's \"flags\" and each stage's (flagsI0Icr, flagsIcrSca) to\n"
            "every row.\n"
            "\n"
            "Uncertainty. Every tau0StdErr and tauStdErr (and the stdErr of --model compare,\n"
            "the JSON keys of those names, the window's tooltips and Fit details) is a total\n"
            "of three parts added in quadrature:\n"
            "  total = sqrt(stat^2 + model^2 + files^2)\n"
            "  stat   the fit's standard error as above; where its reduced chi^2 is below\n"
            "         0.01 (flag underdispersed: the weights do not describe the noise, as\n"
            "         when ICR and SCA are counted on the same events) it is multiplied by\n"
            "         sqrt(0.01/reducedChi2) instead of shrinking with the chi^2\n"
            "  model  half the difference of the paralyzable and nonparalyzable dead times\n"
            "         when their chi^2 differ by less than 9 times the smaller reduced chi^2\n"
            "         (the data cannot tell the laws apart), else 0\n"
            "  files  when the points come from k >= 2 files of at least 3 points each\n"
            "         (repeated scans): each file is fitted alone, and the standard\n"
            "         deviation s of those k dead times divided by sqrt(k); else 0\n"
            "--json gives the parts as tau0StatStdErr, tau0ModelStdErr, tau0FilesStdErr,\n"
            "tau0FileScatter (s itself) and tau0Files (k), and the same for tau.\n"
            "\n"
            "Scale. a and d0 are printed with their standard errors (aStdErr, d0StdErr).\n"
            "--fix-d0 fits the amplifier with d0 = 1 (SCA = f(ICR; tau)), the convention of\n"
            "electronics whose SCA column is their total output count. The flag scale-loss\n"
            "marks a free d0 between 0.5 and 1.5 that is more than 3 standard errors from 1\n"
            "(a fixed share of counts lost at every rate; with --fix-d0 judged on the free\n"
            "quadratic fit).\n"
            "\n"
            "Preference and further flags. The preferred model of a stage is the one of\n"
            "the three (quadratic included) with the lowest chi^2 when the other two are\n"
            "worse by more than 9 times the smallest reduced chi^2, else indistinguishable;\n"
            "quadratic-biased only when an exact law fits better than the quadratic by that\n"
            "margin and the two dead times differ by more than 2 standard errors of their\n"
            "difference. The text tables give each stage's flags as\n"
            "tau0:FLAG,...;tau:FLAG,...\n"
            "\n"
            "Verdicts. Each stage of each channel is determined, or undetermined for one of\n"
            "these reasons, which is then the stage's only flag:\n"
            "  too-few-points      fewer than 3 usable points\n"
            "  no-counts           the stage's values are all zero (an unconnected channel)\n"
            "  one-rate            ICR, or for tau SCA, has one value at every point, zeros\n"
            "                      aside (a stale readout)\n"
            "  broken              both stages: SCA above ICR at most points, by more than\n"
            "                      1 % and 3 times the scatter of SCA/ICR between neighbouring\n"
            "                      rates, where most other channels' SCA is not (a fast\n"
            "                      channel that misses events; when every channel's SCA lies\n"
            "                      above its ICR, it counts over a longer time)\n"
            "  not-intensity-scan  tau0: I0 spans less than a factor 2 once any one point is\n"
            "                      left out, or ICR is no function of I0: under every law the\n"
            "                      residuals spread over 5 times their scatter from one point\n"
            "                      to the next and miss a quarter of the points by over 3 %\n"
            "                      (an energy scan, with I0 steady or drifting)\n"
            "  fit-failed          no law gives a usable fit\n"
            "None depends on the units of the file or on the counting time. An undetermined\n"
            "dead time prints as \"undetermined (REASON)\" and its error as -; JSON has null\n"
            "and the reason under tau0Undetermined or tauUndetermined (keys present only\n"
            "then); the results file has nan; the .conf writes 0 in its ICR0 or S025 line and\n"
            "leaves it out of that line's mean. A point whose I0, ICR or SCA is negative or\n"
            "not finite is left out of the fits of the stages it enters and named on standard\n"
            "error by file and line.\n"
            "\n"
            "Channel masks. --exclude 3,7 writes channels 3 and 7 as 0 in the ICR0 and S025\n"
            "lines of the .conf file, as channels that do not exist, and leaves them out of\n"
            "its mean line; the results file keeps every value. Dead times that are not\n"
            "finite are always left out of the mean line and named on standard error.\n"
            "\n"
            "Recordings (--recipe, --columns, --scan, --point-table). Each FILE is read by\n"
            "what it is; a gzip file by what it holds, decompressed. A file whose first line\n"
            "is an XDI header (\"# XDI/\"), an HDF5 file and a multi-element MCA file (first\n"
            "line \"VERSION:\") are read as such; with --recipe every FILE is. A spectrum\n"
            "file and a point table (a \"# Channels :\" header, or rows of at most the three\n"
            "fields of one channel) are read as the window reads them. A SPEC file (\"#S\",\n"
            "\"#L\" lines) and any other file of rows of numbers is a column file, read with\n"
            "a built-in recipe where its names make that unambiguous; of a SPEC file of\n"
            "several scans, --scan N (or scan = N in the recipe) reads the one of \"#S N\".\n"
            "A file that none of these reads (a column file whose names no built-in recipe\n"
            "maps, a SPEC file of several scans without a choice, an image or another\n"
            "binary file, a JSON document such as the dead-time file) is not read: it is\n"
            "named with what it looks like. --point-table reads every FILE as a spectrum\n"
            "file or point table all the same. A column file has one row per point and its\n"
            "column names in an XDI header (\"# Column.N: name\"), a SPEC \"#L\" line, the\n"
            "last comment line with as many fields as the rows, a label line after a line\n"
            "of dashes, or a line of names right before the rows. A recipe says how the\n"
            "columns become points:\n"
            "  elements = 1-4          # element numbers: a range a-b or a list 1,2,4\n"
            "  i0  = I0 / count_time   # expressions over column names ($7: 7th column)\n"
            "  icr = ICR_mca{n} / count_time\n"
            "  sca = OCR_mca{n} / count_time\n"
            "  scan = 2                # SPEC: the scan to read\n"
            "  [datasets]              # HDF5: the names above as dataset paths\n"
            "  I0 = /entry/scaler/I0\n"
            "  ICR_mca{n} = /entry/xspress3/ICR[{i}]   # column {i} of points x elements\n"
            "  OCR_mca{n} = /MAPS_RAW/OCR[{i}]   # slice {i} of elements x rows x columns,\n"
            "                                   # its values row by row as points (maps)\n"
            "{n} is the element number, {i} its position from 0 in elements, {n:02} the\n"
            "number zero-padded. A name that is no identifier is written in backticks\n"
            "(`13IDE:scaler1.S2`); a \"*\" ending a name matches any characters, and the\n"
            "name must then match exactly one column (D{n}_ICR_c* for D1_ICR_c24,\n"
            "D2_ICR_c25, ...). For MCA files, window = a-b gives the bins summed per\n"
            "element as counts{n}; with real_time{n} and live_time{n} of the file,\n"
            "sca = counts{n}/real_time{n} and icr = counts{n}/live_time{n} unless given;\n"
            "i0 names ENVIRONMENT entries of the file. A single spectrum (rows of channel\n"
            "and count under header entries with the real and live time, \"# RealTime:\n"
            "10\") is one point: counts over live time the ICR, over real time the SCA,\n"
            "the header's I0 the incident rate unless a recipe gives window and i0.\n"
            "Without --recipe the built-in\n"
            "recipes are tried on a column I0 (IC0, i0_counts) with per-element columns\n"
            "named by their number and kind in either order (ICR3, ICR_mca3, D3_ICR_c10,\n"
            "dxp3:InputCountRate): ICR{n} with OCR{n} (or SCA{n}), InputCountRate with\n"
            "OutputCountRate, Iffast{n} with Ifslow{n}; OutputCounts_mca{n} with\n"
            "DTFactor_mca{n} (ICR = output counts x factor); counts{n} (ROI{n}, R0) with\n"
            "the element's live and real time (ELTM/ERTM, LiveTime/RealTime). A column\n"
            "whose name says it is the counting time (count_time, CountTime,\n"
            "measurement_time, IntTime, integration_time, dwell, seconds, ...; not\n"
            "\"time\", often the time elapsed) makes counts rates, else the values are\n"
            "taken as rates. --verbose prints the recipe used.\n"
            "A value that an expression divides by zero, a field that is not a number, a\n"
            "short row, an unknown name or dataset: the file is not loaded and the cause\n"
            "is printed with its line or dataset.\n"
            "\n"
            "The dead-time file. --json also adds \"format\": \"ratelens-dead-times\",\n"
            "\"version\", \"deadTimes\" (per exact model fitted, per channel: tau0, a, tau, d0,\n"
            "their standard errors, cov(d0, tau) and the flags) and \"provenance\" (the input\n"
            "files with their SHA-256, the recipe, the Ratelens version, the time in UTC),\n"
            "so that the report is what 'ratelens-batch correct --dead-times' reads to\n"
            "correct scans: see 'ratelens-batch correct --help'.\n"
            "\n"
            "Exit status: 0 success; 1 no estimation possible (fewer than two points, or no\n"
            "channel common to all points; then no results file is written, only the plot\n"
            "if asked for); 2 usage error, or an output that would overwrite an input or\n"
            "another output; 3 a results file or the plot image could not be written, or\n"
            "some named file could not be read or gave no measurement point while the\n"
            "others were estimated, or a channel not left out with --exclude has a dead\n"
            "time the data do not determine (each named on standard error with its\n"
            "reason); 4 the recipe could not be read, or no named file could\n"
            "be read and a recording among them was rejected or a file not read for what it\n"
            "looks like. Such a file is named on\n"
            "standard error with the cause, and the batch goes on with the others. Points\n"
            "of different channel counts are estimated in the channels they all have, and\n"
            "standard error names a file of each count. A results file of an earlier run\n"
            "named among the files (first line \"# Deadtime data\") is not a measurement:\n"
            "it is left out with a note, and -o may write it anew.");
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

// Checks the values that the parser cannot: sizes, names, models, then that
// there is a file, then the combinations that make no sense. Returns the usage
// error, or an empty text.
QString checkOptions(BatchOptions &o, const QCommandLineParser &parser)
{
    const QString sizeText = parser.value(QStringLiteral("size"));
    const QString modelText = parser.value(QStringLiteral("model"));
    const bool outputSet = parser.isSet(QStringLiteral("output"));
    const bool plotSet = parser.isSet(QStringLiteral("plot"));
    const bool recipeSet = parser.isSet(QStringLiteral("recipe"));
    if (parser.isSet(QStringLiteral("scan"))) {
        bool ok = false;
        o.scan = parser.value(QStringLiteral("scan")).toInt(&ok);
        if (!ok || o.scan < 1)
            return QStringLiteral("invalid scan '%1': expected the number of a \"#S\" line")
                    .arg(parser.value(QStringLiteral("scan")));
    }
    if (!parseSize(sizeText, o.plotSize))
        return QStringLiteral("invalid plot size '%1': expected WxH, for example "
                              "1500x700, each side at most %2 and the height at least 2")
                .arg(sizeText)
                .arg(maxPlotSide);
    if (outputSet && o.outputPath.isEmpty())
        return QStringLiteral("the results file name is empty");
    if (recipeSet && o.recipePath.isEmpty())
        return QStringLiteral("the recipe file name is empty");
    if (plotSet && o.plotPath.isEmpty())
        return QStringLiteral("the plot file name is empty");
    const std::optional<ModelChoice> choice = parseModelChoice(modelText);
    if (!choice)
        return QStringLiteral("unknown model '%1': expected quadratic, paralyzable, "
                              "nonparalyzable or compare")
                .arg(modelText);
    o.choice = *choice;
    // Only after the values: an option whose value was left out takes the
    // file that follows as its value, and the value is then what is wrong.
    if (o.files.isEmpty())
        return QStringLiteral("no measurement file given");
    if (o.choice.compare && !o.outputPath.isEmpty())
        return QStringLiteral("--output writes the dead times of one model, not of "
                              "--model compare");
    if (o.residuals && o.plotPath.isEmpty())
        return QStringLiteral("--residuals needs --plot");
    if (o.pointTable && (recipeSet || o.columns))
        return QStringLiteral("--point-table reads every file as a point table; --recipe and "
                              "--columns read them as recordings");
    if (o.barePlot && o.plotPath.isEmpty())
        return QStringLiteral("--bare-plot needs --plot");
    if (QFileInfo(o.plotPath).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("--plot draws a raster image (PNG, or the format its suffix names); "
                              "an SVG image is saved from the window");
    return QString();
}

// "3,7" (blanks allowed) into channel indices; false for anything else.
bool parseChannelList(const QString &text, QVector<int> &channels)
{
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString &item : items) {
        bool ok = false;
        const int j = item.trimmed().toInt(&ok);
        if (!ok || j < 0)
            return false;
        if (!channels.contains(j))
            channels.append(j);
    }
    return true;
}

// The channels of every --exclude into o.excluded; the usage error, or an
// empty text.
QString parseExcluded(const QStringList &lists, BatchOptions &o)
{
    for (const QString &list : lists) {
        if (!parseChannelList(list, o.excluded))
            return QStringLiteral("invalid channel list '%1': expected channel indices "
                                  "separated by commas, for example 3,7")
                    .arg(list);
    }
    return QString();
}

const OptionTable<BatchOptions> &batchOptionTable()
{
    using O = BatchOptions;
    static const OptionTable<BatchOptions> table {
        { QString(), description(), QStringLiteral("FILE"),
          QStringLiteral("Measurement files, loaded in this order."), QStringLiteral("FILE..."),
          true },
        {
                { { "o", "output" },
                  "Write the results file FILE and its companion FILE.conf, byte for byte as the "
                  "window's \"Save\" writes them.",
                  "FILE", {}, &O::outputPath },
                { { "json" }, "Print the table as JSON instead of text.", {}, {}, &O::json },
                { { "plot" },
                  "Draw both plots, I0-Nin above Nin-Nout, into the image FILE (PNG, or JPEG or "
                  "BMP by its suffix), each with its title, tick numbers, axis titles and a "
                  "legend of the channel colours.",
                  "FILE", {}, &O::plotPath },
                { { "bare-plot" },
                  "Draw the plots without axes and legend, exactly as the window shows them "
                  "until asked for axes.",
                  {}, {}, &O::barePlot },
                { { "size" },
                  "Size of the plot image in pixels, each plot taking half the height (default "
                  "1500x700).",
                  "WxH", "1500x700", {} },
                { { "verbose" },
                  "Print the point-table reader's header search and the files it cannot open to "
                  "standard error, in the form of the window's debug lines.",
                  {}, {}, &O::verbose },
                { { "model" },
                  "Dead-time model: quadratic (default), paralyzable, nonparalyzable, or compare "
                  "for all three side by side.",
                  "MODEL", "quadratic", {} },
                { { "residuals" },
                  "With --plot, add the normalised residuals of the model's fits (of each model "
                  "with compare) against I0 and against ICR below the plots.",
                  {}, {}, &O::residuals },
                { { "fix-d0" },
                  "Fit the amplifier stage with d0 = 1, for electronics whose SCA column is "
                  "their total output count.",
                  {}, {}, &O::fixD0 },
                { { "exclude" },
                  "Leave the channels LIST (indices as printed, separated by commas) out of the "
                  ".conf file: written as 0 and left out of its mean line.",
                  "LIST", {}, {} },
                { { "recipe" }, "Read every FILE through the recipe in RECIPE (see Recordings).",
                  "RECIPE", {}, &O::recipePath },
                { { "columns" },
                  "Read every FILE as a column file with the built-in recipes, also one without "
                  "an XDI header.",
                  {}, {}, &O::columns },
                { { "scan" },
                  "Read scan N (the number of its \"#S\" line) of a SPEC file of several scans.",
                  "N", {}, {} },
                { { "point-table" },
                  "Read every FILE as a spectrum file or point table, as the window reads it, "
                  "whatever it looks like.",
                  {}, {}, &O::pointTable },
        },
        &O::files
    };
    return table;
}
} // namespace

QVector<DeadTimeModel> BatchOptions::models() const
{
    if (choice.compare)
        return { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable,
                 DeadTimeModel::NonParalyzable };
    return { choice.model };
}

bool BatchOptions::quadraticOnly() const
{
    return !choice.compare && choice.model == DeadTimeModel::Quadratic;
}

std::optional<BatchOptions> parseBatchOptions(const QStringList &arguments, QTextStream &out,
                                              QTextStream &err, int *status)
{
    const OptionTable<BatchOptions> &table = batchOptionTable();
    QCommandLineParser parser;
    std::optional<BatchOptions> o = parseOptionTable(parser, table, arguments, out, err, status);
    if (!o)
        return o;
    QString problem = parseExcluded(parser.values(QStringLiteral("exclude")), *o);
    if (problem.isEmpty())
        problem = checkOptions(*o, parser);
    if (!problem.isEmpty()) {
        *status = usageError(err, table.text, problem);
        return std::nullopt;
    }
    return o;
}
