// SPDX-License-Identifier: GPL-3.0-or-later
#include "correctoptions.h"

#include "optiontable.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <cmath>

namespace {

QString description()
{
    return QStringLiteral(
            "ratelens-batch correct (--dead-times FILE.json | --model MODEL --tau0 T[,T...])\n"
            "                       [--tau T[,T...]] [--d0 D[,D...]] [--stages all|amp]\n"
            "                       [--recipe R] [--from icr|sca] [--roi PATTERN]...\n"
            "                       [-o OUT | --output-dir DIR] SCAN...\n"
            "\n"
            "Corrects scans (column files, or HDF5 files through a recipe's [datasets]) for\n"
            "counting losses with the dead times a fit found.\n"
            "The dead-time file is what 'ratelens-batch --model paralyzable --json' (or\n"
            "nonparalyzable, or compare with --model here to choose) prints, or what the\n"
            "window's Fit details save. Each element is corrected with the dead times of\n"
            "the channel fitted on that element number, as the recipe in the file's\n"
            "provenance tells; a scan element the fit did not have is refused. A file that\n"
            "does not tell must have one channel per element of the scan, in the order of\n"
            "its recipe's element list. Typed-in dead times are in the inverse units of\n"
            "the rates (seconds for counts per second); one value holds for every element,\n"
            "a list gives one per element, exactly as many; d0 defaults to 1. Their\n"
            "standard errors are unknown, so dtc{n}_err is nan. Given with --dead-times they\n"
            "take the place of the file's values (a list: one per channel of the file).\n"
            "\n"
            "Only what the fit determined corrects. An element whose channel was left out\n"
            "of the fit (--exclude), or whose needed dead time the fit did not determine\n"
            "(tau0Undetermined, tauUndetermined in the file: an energy scan gives no tau0),\n"
            "or failed, is not corrected: its columns are nan with flag 4, standard error\n"
            "names the element with the reason and what would work, and the exit status is\n"
            "3; the other elements are corrected. A typed-in --tau0 or --tau takes\n"
            "precedence over the file. --stages amp corrects the amplifier stage alone,\n"
            "neglecting the pre-amplifier's dead time: the amplifier's input rate is taken\n"
            "to be the measured ICR, ntrue = ICR, and k = ICR/f(ICR; tau), the ratio of ICR\n"
            "to OCR the law gives (exp(ICR*tau) paralyzable, 1 + ICR*tau nonparalyzable),\n"
            "which multiplies SCA and ROI counts; it needs tau and an ICR, not tau0.\n"
            "\n"
            "For every row and element the true input rate n is estimated by inverting the\n"
            "law: from ICR the pre-amplifier stage, ICR = f(n; tau0); from SCA both stages,\n"
            "SCA = d0*f(f(n; tau0); tau) (the default when the recipe has no ICR: a\n"
            "recipe for correcting may leave out icr, one for fitting may not). The\n"
            "paralyzable law m = n*exp(-n*tau) is inverted on its low-rate branch,\n"
            "n = -W0(-m*tau)/tau, the nonparalyzable m = n/(1 + n*tau) as n = m/(1 - m*tau).\n"
            "\n"
            "Output: a tab-separated column file with one line of names, beside each scan as\n"
            "<name>_dtc.tsv (or in --output-dir, or -o for a single scan): the scan's own\n"
            "columns, then per element n\n"
            "  ntrue{n}      the true input rate\n"
            "  dtc{n}        the correction factor k = ntrue/SCA\n"
            "  dtc{n}_err    k's standard error from the dead times' standard errors\n"
            "  dtc{n}_flag   0 corrected; 1 a rate beyond the law's reach (paralyzable\n"
            "                above 1/(e*tau), nonparalyzable at or above 1/tau); 2 so near it\n"
            "                that k's error exceeds k; 3 a negative or non-finite rate, or\n"
            "                from ICR an SCA of zero; 4 the element's dead times cannot\n"
            "                correct it (see above)\n"
            "  <roi>_corr    each --roi column times k\n"
            "A point left uncorrected has nan in its ntrue, dtc and _corr columns; the\n"
            "number of such points per element is printed on standard error.\n"
            "Scans whose outputs would be one file (scan.xdi and scan.csv side by side, or\n"
            "two scan.xdi into one --output-dir), or whose output would be another scan\n"
            "named (a.xdi with a_dtc.tsv), the dead-time file or the recipe, are refused, a\n"
            "usage error, before any is written.\n"
            "\n"
            "An HDF5 scan is read a block of rows at a time; its datasets are the columns of\n"
            "the output. With --output-dir it gives instead a new HDF5 file there,\n"
            "<name>_dtc.h5: every object of the scan copied with its attributes, and the\n"
            "columns above in the group /dtc, one 1-D dataset each (/dtc/ntrue1,\n"
            "/dtc/dtc1, /dtc/dtc1_err, /dtc/dtc1_flag as unsigned bytes, ...). The scan is\n"
            "never written to; an output is replaced only by a complete one.\n"
            "\n"
            "Exit status: 0 every point corrected; 1 unusable input (a scan, recipe or\n"
            "dead-time file that cannot be read or does not fit, or an output that cannot\n"
            "be written; the other scans are still corrected); 2 usage error; 3 some\n"
            "points, or whole elements, were left uncorrected.");
}

// Whether a field that is not a usable number was meant as one that is not
// finite: Qt reads "nan" and "inf", but refuses a signed "-nan" and returns
// inf with a failure for a number beyond the range of double (1e999).
bool isNonFinite(const QString &field, double value)
{
    if (!std::isfinite(value))
        return true;
    const bool sign = field.startsWith(QLatin1Char('-')) || field.startsWith(QLatin1Char('+'));
    return sign && std::isnan(field.mid(1).toDouble());
}

// "T[,T...]" of the option named into values. A nan or inf typed in is no
// dead time at all; it is refused here, naming what was typed, rather than
// reaching the correction as a dead time that is "not known".
QString parseList(const char *option, const QString &text, QVector<double> &values)
{
    values.clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QString field = item.trimmed();
        bool ok = false;
        const double v = field.toDouble(&ok);
        if (isNonFinite(field, v))
            return QStringLiteral("%1: '%2' is not a finite number")
                    .arg(QLatin1String(option), field);
        if (!ok)
            return QStringLiteral("--tau0, --tau and --d0 take numbers separated by commas");
        values.append(v);
    }
    return QString();
}

// The options whose values the checks below read, as given: each is checked
// only when it was given at all.
struct GivenValue
{
    bool given = false;
    QString text; // for an option with a default, that default when not given
};

struct GivenValues
{
    GivenValue model, tau0, tau, d0, from, stages;
};

GivenValue given(const QCommandLineParser &parser, const char *name)
{
    const QString option = QLatin1String(name);
    return { parser.isSet(option), parser.value(option) };
}

// Each value on its own. An option whose value was left out takes the scan
// that follows as its value, so these come before the check that a scan is
// given: the value is then what is wrong.
QString checkValues(CorrectOptions &o, const GivenValues &v)
{
    if (v.model.given) {
        o.model = parseDeadTimeModel(v.model.text);
        if (!o.model || *o.model == DeadTimeModel::Quadratic)
            return QStringLiteral("unknown model '%1': expected paralyzable or nonparalyzable")
                    .arg(v.model.text);
    }
    if (v.from.given) {
        if (v.from.text != QLatin1String("icr") && v.from.text != QLatin1String("sca"))
            return QStringLiteral("unknown --from '%1': expected icr or sca").arg(v.from.text);
        o.source = v.from.text == QLatin1String("icr") ? CorrectionSource::Icr
                                                       : CorrectionSource::Sca;
    }
    if (v.stages.text != QLatin1String("all") && v.stages.text != QLatin1String("amp"))
        return QStringLiteral("unknown --stages '%1': expected all or amp").arg(v.stages.text);
    o.ampStageOnly = v.stages.text == QLatin1String("amp");
    if (o.ampStageOnly && o.source == CorrectionSource::Sca)
        return QStringLiteral("--stages amp corrects from ICR; leave --from sca out");
    QString problem = v.tau0.given ? parseList("--tau0", v.tau0.text, o.tau0s) : QString();
    if (problem.isEmpty() && v.tau.given)
        problem = parseList("--tau", v.tau.text, o.taus);
    if (problem.isEmpty() && v.d0.given)
        problem = parseList("--d0", v.d0.text, o.d0s);
    return problem;
}

QString checkDeadTimeOptions(const CorrectOptions &o, const GivenValues &v)
{
    if (!o.deadTimesPath.isEmpty())
        return QString();
    if (o.ampStageOnly)
        return v.tau.given && v.model.given
                ? QString()
                : QStringLiteral("give the dead times: --dead-times FILE, or --model and --tau");
    if (!v.tau0.given || !v.model.given)
        return QStringLiteral("give the dead times: --dead-times FILE, or --model and --tau0");
    return QString();
}

QString checkOptions(CorrectOptions &o, const GivenValues &v)
{
    QString problem = checkValues(o, v);
    if (!problem.isEmpty())
        return problem;
    if (o.scans.isEmpty())
        return QStringLiteral("no scan given");
    if (!o.outputPath.isEmpty() && !o.outputDir.isEmpty())
        return QStringLiteral("-o and --output-dir exclude each other");
    if (!o.outputPath.isEmpty() && o.scans.size() > 1)
        return QStringLiteral("-o names the output of one scan; use --output-dir for several");
    problem = checkDeadTimeOptions(o, v);
    if (problem.isEmpty() && o.source == CorrectionSource::Sca && o.deadTimesPath.isEmpty()
        && o.taus.isEmpty())
        return QStringLiteral("--from sca needs the amplifier's dead time --tau");
    return problem;
}

const OptionTable<CorrectOptions> &correctOptionTable()
{
    using O = CorrectOptions;
    static const OptionTable<CorrectOptions> table {
        { QStringLiteral("correct"), description(), QStringLiteral("SCAN"),
          QStringLiteral("Column-file scans."), QStringLiteral("SCAN..."), false },
        {
                { { "dead-times" },
                  "The dead-time file (ratelens-batch --json, or the window's \"Save dead "
                  "times...\").",
                  "FILE", {}, &O::deadTimesPath },
                { { "model" }, "paralyzable or nonparalyzable.", "MODEL", {}, {} },
                { { "tau0" }, "Pre-amplifier dead time(s).", "T[,T...]", {}, {} },
                { { "tau" }, "Amplifier dead time(s).", "T[,T...]", {}, {} },
                { { "d0" }, "Amplifier scale(s), default 1.", "D[,D...]", {}, {} },
                { { "recipe" },
                  "The recipe that maps the scan's columns; default: the built-in one that fits.",
                  "R", {}, &O::recipePath },
                { { "from" }, "Correct from icr or sca.", "icr|sca", {}, {} },
                { { "roi" }, "A column to correct, with {n} for the element number; repeatable.",
                  "PATTERN", {}, &O::roiPatterns },
                { { "o", "output" }, "The output file of a single scan.", "OUT", {},
                  &O::outputPath },
                { { "output-dir" }, "The folder for the outputs, made if it is missing.", "DIR",
                  {}, &O::outputDir },
                { { "stages" },
                  "all (default), or amp: the amplifier stage alone, neglecting the "
                  "pre-amplifier's dead time.",
                  "all|amp", "all", {} },
                { { "verbose" }, "Name the recipe and source of each scan.", {}, {}, &O::verbose },
        },
        &O::scans
    };
    return table;
}

} // namespace

std::optional<CorrectOptions> parseCorrectOptions(const QStringList &arguments, QTextStream &out,
                                                  QTextStream &err, int *status)
{
    const OptionTable<CorrectOptions> &table = correctOptionTable();
    QCommandLineParser parser;
    std::optional<CorrectOptions> o = parseOptionTable(parser, table, arguments, out, err, status);
    if (!o)
        return o;
    const GivenValues values { given(parser, "model"), given(parser, "tau0"),
                               given(parser, "tau"),   given(parser, "d0"),
                               given(parser, "from"),  given(parser, "stages") };
    const QString problem = checkOptions(*o, values);
    if (!problem.isEmpty()) {
        *status = usageError(err, table.text, problem);
        return std::nullopt;
    }
    return o;
}
