// SPDX-License-Identifier: GPL-3.0-or-later
#include "correctcommand.h"

#include "batchoptions.h"
#include "correctoptions.h"
#include "deadtimesfile.h"
#include "hdf5columns.h"
#include "hdf5scancorrection.h"
#include "scanfile.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>

namespace {

// The dead times of --dead-times, or nothing with the reason on err.
bool readDeadTimes(const CorrectOptions &o, ScanCorrectionSetup &setup, QTextStream &err)
{
    QFile file(o.deadTimesPath);
    if (!file.open(QIODevice::ReadOnly)) {
        batchMessage(err) << "cannot read " << o.deadTimesPath << ": " << file.errorString()
                          << '\n';
        return false;
    }
    const DeadTimesFile dt = readDeadTimesFile(file.readAll(), o.model);
    if (!dt.error.isEmpty()) {
        batchMessage(err) << o.deadTimesPath << ": " << dt.error << '\n';
        return false;
    }
    setup.model = dt.model;
    setup.channelElements = dt.channelElements;
    for (const ChannelDeadTimes &c : dt.channels) {
        setup.deadTimes.append(c.deadTimes);
        setup.standings.append(c.standing);
    }
    return true;
}

// Typed-in dead times in the place of the file's: one value for every
// channel, or one per channel. What the user typed holds whatever the fit
// said of that stage; its standard error is not known.
bool overrideDeadTimes(const CorrectOptions &o, ScanCorrectionSetup &setup, QTextStream &err)
{
    const int channels = setup.deadTimes.size();
    const struct
    {
        const char *option;
        const QVector<double> &values;
    } typed[] = { { "--tau0", o.tau0s }, { "--tau", o.taus }, { "--d0", o.d0s } };
    for (const auto &t : typed) {
        if (t.values.size() > 1 && t.values.size() != channels) {
            batchMessage(err) << t.option << " gives " << t.values.size() << " values and "
                              << o.deadTimesPath << " " << channels
                              << " channels: give one, or one per channel\n";
            return false;
        }
        for (double v : t.values) {
            if (!(v > 0.0)) {
                batchMessage(err) << t.option << ' ' << v << " is not positive\n";
                return false;
            }
        }
    }
    const double unknown = qQNaN();
    const auto at = [](const QVector<double> &list, int j) {
        return list.at(list.size() == 1 ? 0 : j);
    };
    for (int j = 0; j < channels; ++j) {
        ElementDeadTimes &d = setup.deadTimes[j];
        DeadTimesStanding &s = setup.standings[j];
        if (!o.tau0s.isEmpty()) {
            d.tau0 = at(o.tau0s, j);
            d.tau0StdErr = unknown;
            s.tau0 = Verdict::Determined;
        }
        if (!o.taus.isEmpty()) {
            d.tau = at(o.taus, j);
            d.tauStdErr = d.d0TauCovariance = unknown;
            s.tau = Verdict::Determined;
        }
        if (!o.d0s.isEmpty()) {
            d.d0 = at(o.d0s, j);
            d.d0StdErr = d.d0TauCovariance = unknown;
        }
    }
    return true;
}

// Typed-in dead times: one value for every element, or one per element of
// every scan (in the order of its recipe's element list). Their standard
// errors are not known.
bool typedDeadTimes(const CorrectOptions &o, ScanCorrectionSetup &setup, QTextStream &err)
{
    const int n = std::max({ o.tau0s.size(), o.taus.size(), o.d0s.size() });
    for (const QVector<double> *list : { &o.tau0s, &o.taus, &o.d0s }) {
        if (list->size() > 1 && list->size() != n) {
            batchMessage(err) << "--tau0, --tau and --d0 give " << o.tau0s.size() << ", "
                              << o.taus.size() << " and " << o.d0s.size()
                              << " values: give one, or the same number each\n";
            return false;
        }
    }
    auto at = [](const QVector<double> &list, int i, double fallback) {
        return list.isEmpty() ? fallback : list.at(list.size() == 1 ? 0 : i);
    };
    const double unknown = qQNaN();
    setup.model = *o.model;
    setup.oneForAll = n == 1;
    setup.typedIn = true;
    for (int i = 0; i < n; ++i)
        setup.deadTimes.append({ at(o.tau0s, i, unknown), unknown, at(o.taus, i, unknown),
                                 unknown, at(o.d0s, i, 1.0), unknown, unknown });
    return true;
}

bool readRecipe(const CorrectOptions &o, ScanCorrectionSetup &setup, QTextStream &err)
{
    if (o.recipePath.isEmpty())
        return true;
    QFile file(o.recipePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        batchMessage(err) << "cannot read the recipe " << o.recipePath << ": "
                          << file.errorString() << '\n';
        return false;
    }
    RecipeParse parsed = parseRecipe(QString::fromUtf8(file.readAll()), RecipeUse::Correction);
    if (parsed.ok() && o.source == CorrectionSource::Icr && parsed.recipe.icr.isEmpty())
        parsed.error = QStringLiteral("no icr expression to correct from with --from icr; "
                                      "leave --from out, or give --from sca");
    if (!parsed.ok()) {
        batchMessage(err) << o.recipePath << ": ";
        if (parsed.line > 0)
            err << "line " << parsed.line << ": ";
        err << parsed.error << '\n';
        return false;
    }
    parsed.recipe.origin = QStringLiteral("recipe %1").arg(o.recipePath);
    setup.recipe = parsed.recipe;
    return true;
}

void reportScan(const CorrectOptions &o, const QString &scan, const QString &output,
                const ScanCorrectionReport &r, QTextStream &err)
{
    if (!r.ok()) {
        batchMessage(err) << scan << ": " << r.error << '\n';
        return;
    }
    for (const QString &refusal : r.refused) {
        if (!refusal.isEmpty())
            batchMessage(err) << scan << ": not corrected: " << refusal << '\n';
    }
    if (o.verbose)
        batchMessage(err) << scan << ": " << r.rows << " rows through the "
                          << r.recipeOrigin << ", corrected from "
                          << (r.source == CorrectionSource::Icr   ? "ICR"
                                      : r.source == CorrectionSource::Sca ? "SCA"
                                                                          : "ICR, amplifier alone")
                          << " into "
                          << output << '\n';
    for (size_t i = 0; i < r.uncorrected.size(); ++i) {
        if (r.uncorrected[i] > 0 && r.refused[i].isEmpty())
            batchMessage(err) << scan << ": element " << r.elementNumbers[i] << ": "
                              << r.uncorrected[i] << " of " << r.rows
                              << " points left uncorrected\n";
    }
}

// An HDF5 scan with --output-dir gives a new HDF5 file there; every other
// scan, and any with -o, a column file.
bool givesHdf5(const CorrectOptions &o, const QString &scan)
{
    return o.outputPath.isEmpty() && !o.outputDir.isEmpty() && isHdf5File(scan);
}

QString outputOf(const CorrectOptions &o, const QString &scan)
{
    if (givesHdf5(o, scan))
        return correctedHdf5Path(scan, o.outputDir);
    return o.outputPath.isEmpty() ? correctedScanPath(scan, o.outputDir) : o.outputPath;
}

// The output is named after the scan's base name alone, so d1/scan.xdi and
// d2/scan.xdi with --output-dir, or scan.xdi and scan.csv side by side, would
// be corrected into one file; a.xdi given with a_dtc.tsv would replace that
// scan before it is read, and -o may name the dead-time file or the recipe.
// Found before anything is written: the reason, or empty.
QString outputCollision(const CorrectOptions &o, QStringList &outputs)
{
    for (const QString &scan : o.scans)
        outputs.append(outputOf(o, scan));
    return correctionOutputCollision(
            o.scans, outputs,
            { { QStringLiteral("the dead-time file"), o.deadTimesPath },
              { QStringLiteral("the recipe"), o.recipePath } });
}

ScanCorrectionReport correctOne(const CorrectOptions &o, const ScanCorrectionSetup &setup,
                                const QString &scan, const QString &output)
{
    if (givesHdf5(o, scan))
        return correctHdf5ScanFile(setup, scan, output, Hdf5ScanOutput::Hdf5File);
    return correctScanFile(setup, scan, output);
}

} // namespace

int runCorrect(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    int status = CorrectOk;
    const std::optional<CorrectOptions> options = parseCorrectOptions(arguments, out, err, &status);
    if (!options)
        return status;
    const CorrectOptions &o = *options;
    QStringList outputs;
    const QString collision = outputCollision(o, outputs);
    if (!collision.isEmpty()) {
        batchMessage(err) << "correct: " << collision << '\n';
        err.flush();
        return CorrectUsageError;
    }
    ScanCorrectionSetup setup;
    setup.source = o.ampStageOnly ? CorrectionSource::AmpFromIcr : o.source;
    setup.roiPatterns = o.roiPatterns;
    const bool ready = (o.deadTimesPath.isEmpty()
                                ? typedDeadTimes(o, setup, err)
                                : readDeadTimes(o, setup, err) && overrideDeadTimes(o, setup, err))
            && readRecipe(o, setup, err);
    if (!ready) {
        err.flush();
        return CorrectUnusable;
    }
    // The folder for the outputs is made where it is missing, as mkdir -p would.
    if (!o.outputDir.isEmpty() && !QDir().mkpath(o.outputDir)) {
        batchMessage(err) << "cannot create the folder " << o.outputDir << '\n';
        err.flush();
        return CorrectUnusable;
    }
    bool unusable = false;
    bool incomplete = false;
    for (int i = 0; i < o.scans.size(); ++i) {
        const QString &scan = o.scans.at(i);
        const ScanCorrectionReport r = correctOne(o, setup, scan, outputs.at(i));
        reportScan(o, scan, outputs.at(i), r, err);
        unusable = unusable || !r.ok();
        incomplete = incomplete || r.totalUncorrected() > 0
                || std::any_of(r.refused.begin(), r.refused.end(),
                               [](const QString &why) { return !why.isEmpty(); });
    }
    err.flush();
    return unusable ? CorrectUnusable : incomplete ? CorrectIncomplete : CorrectOk;
}
