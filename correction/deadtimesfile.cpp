// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadtimesfile.h"

#include "recipe.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <limits>

namespace {

const QString formatName = QStringLiteral("ratelens-dead-times");

QJsonValue number(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

QJsonValue sha256Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonValue();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return QJsonValue();
    return QString::fromLatin1(hash.result().toHex());
}

QJsonObject provenanceJson(const DeadTimesProvenance &p)
{
    QJsonArray inputs;
    for (const QString &file : p.inputFiles) {
        QJsonObject o;
        o.insert(QStringLiteral("file"), QFileInfo(file).fileName());
        o.insert(QStringLiteral("sha256"), sha256Of(file));
        inputs.append(o);
    }
    QJsonObject o;
    o.insert(QStringLiteral("inputs"), inputs);
    o.insert(QStringLiteral("recipe"), p.recipe.isEmpty() ? QJsonValue() : QJsonValue(p.recipe));
    o.insert(QStringLiteral("ratelensVersion"), p.ratelensVersion);
    o.insert(QStringLiteral("created"), p.created.toUTC().toString(Qt::ISODate));
    return o;
}

QJsonObject channelJson(const ChannelComparison &c, DeadTimeModel model)
{
    const ChannelDeadTimes dt = channelDeadTimes(c, model);
    const ElementDeadTimes &d = dt.deadTimes;
    QJsonObject o;
    o.insert(QStringLiteral("channel"), c.channel);
    insertVerdict(o, QStringLiteral("tau0"), dt.standing.tau0);
    insertVerdict(o, QStringLiteral("tau"), dt.standing.tau);
    o.insert(QStringLiteral("tau0"), number(d.tau0));
    o.insert(QStringLiteral("tau0StdErr"), number(d.tau0StdErr));
    const StageFit &pre = c.preAmp.fit(model);
    const bool preShown = pre.ok && !c.preAmp.undetermined();
    o.insert(QStringLiteral("a"), preShown ? number(pre.scale) : QJsonValue());
    o.insert(QStringLiteral("aStdErr"), preShown ? number(pre.scaleStdErr) : QJsonValue());
    o.insert(QStringLiteral("tau"), number(d.tau));
    o.insert(QStringLiteral("tauStdErr"), number(d.tauStdErr));
    o.insert(QStringLiteral("d0"), number(d.d0));
    o.insert(QStringLiteral("d0StdErr"), number(d.d0StdErr));
    o.insert(QStringLiteral("d0TauCovariance"), number(d.d0TauCovariance));
    o.insert(QStringLiteral("flags"), QJsonArray::fromStringList(dt.flags));
    return o;
}

double numberAt(const QJsonObject &o, const char *key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toDouble() : std::numeric_limits<double>::quiet_NaN();
}

ChannelDeadTimes channelFromJson(const QJsonObject &o)
{
    ChannelDeadTimes c;
    c.channel = o.value(QStringLiteral("channel")).toInt(-1);
    ElementDeadTimes &d = c.deadTimes;
    d.tau0 = numberAt(o, "tau0");
    d.tau0StdErr = numberAt(o, "tau0StdErr");
    d.tau = numberAt(o, "tau");
    d.tauStdErr = numberAt(o, "tauStdErr");
    d.d0 = numberAt(o, "d0");
    d.d0StdErr = numberAt(o, "d0StdErr");
    d.d0TauCovariance = numberAt(o, "d0TauCovariance");
    for (const QJsonValue &f : o.value(QStringLiteral("flags")).toArray())
        c.flags.append(f.toString());
    c.standing.tau0 = verdictNamed(o.value(QStringLiteral("tau0Undetermined")).toString());
    c.standing.tau = verdictNamed(o.value(QStringLiteral("tauUndetermined")).toString());
    return c;
}

// The channels the report's table marks "excluded": left out of the .conf.
QVector<bool> excludedChannels(const QJsonObject &root)
{
    QVector<bool> excluded;
    for (const QJsonValue &row : root.value(QStringLiteral("table")).toArray()) {
        const int channel = row.toObject().value(QStringLiteral("channel")).toInt(-1);
        if (channel < 0 || channel > 1 << 20)
            continue;
        if (excluded.size() <= channel)
            excluded.resize(channel + 1);
        excluded[channel] = row.toObject().value(QStringLiteral("excluded")).toBool();
    }
    return excluded;
}

// The law to read: the one asked for, or the file's only one.
QString chooseModel(const QJsonObject &deadTimes, std::optional<DeadTimeModel> wanted,
                    DeadTimeModel &model)
{
    if (wanted) {
        model = *wanted;
        if (!deadTimes.contains(deadTimeModelName(model)))
            return QStringLiteral("the file holds no %1 dead times").arg(deadTimeModelName(model));
        return QString();
    }
    if (deadTimes.size() != 1)
        return QStringLiteral("the file holds the dead times of %1; choose one with --model")
                .arg(deadTimes.keys().join(QStringLiteral(" and ")));
    const std::optional<DeadTimeModel> only = parseDeadTimeModel(deadTimes.keys().constFirst());
    if (!only)
        return QStringLiteral("unknown model '%1'").arg(deadTimes.keys().constFirst());
    model = *only;
    return QString();
}

DeadTimesFile failed(const QString &why)
{
    DeadTimesFile f;
    f.error = why;
    return f;
}

} // namespace

QString ratelensVersion()
{
    return QStringLiteral(RATELENS_VERSION);
}

ChannelDeadTimes channelDeadTimes(const ChannelComparison &c, DeadTimeModel model)
{
    const StageFit &pre = c.preAmp.fit(model);
    const StageFit &amp = c.amp.fit(model);
    const bool preShown = pre.ok && !c.preAmp.undetermined();
    const bool ampShown = amp.ok && !c.amp.undetermined();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double tauTotal = c.amp.uncertainty(model).total;
    // The fit's covariance belongs with the fit's own error of tau; with the
    // total in its place it is scaled alike, keeping their correlation.
    const double covariance = amp.tauStdErr > 0.0
            ? amp.scaleTauCovariance * (tauTotal / amp.tauStdErr)
            : amp.scaleTauCovariance;
    ChannelDeadTimes dt;
    dt.channel = c.channel;
    dt.deadTimes.tau0 = preShown ? pre.tau : nan;
    dt.deadTimes.tau0StdErr = preShown ? c.preAmp.uncertainty(model).total : nan;
    dt.deadTimes.tau = ampShown ? amp.tau : nan;
    dt.deadTimes.tauStdErr = ampShown ? tauTotal : nan;
    dt.deadTimes.d0 = ampShown ? amp.scale : nan;
    dt.deadTimes.d0StdErr = ampShown ? amp.scaleStdErr : nan;
    dt.deadTimes.d0TauCovariance = ampShown ? covariance : nan;
    dt.flags = deadTimeFlagNames(c.flags());
    dt.standing.tau0 = c.preAmp.verdict;
    dt.standing.tau = c.amp.verdict;
    return dt;
}

std::vector<int> channelElementsOf(const QString &recipeText, int channels)
{
    if (recipeText.isEmpty())
        return {};
    const RecipeParse parsed = parseRecipe(recipeText, RecipeUse::Correction);
    if (!parsed.ok() || int(parsed.recipe.elements.size()) != channels)
        return {};
    return parsed.recipe.elements;
}

DeadTimesProvenance provenanceOf(const QStringList &files, const QString &recipe,
                                 const QString &version)
{
    return { files, recipe, version, QDateTime::currentDateTimeUtc() };
}

void addDeadTimesFileKeys(QJsonObject &root, const QVector<DeadTimeModel> &models,
                          const QVector<ChannelComparison> &channels,
                          const DeadTimesProvenance &provenance)
{
    root.insert(QStringLiteral("format"), formatName);
    root.insert(QStringLiteral("version"), deadTimesFileVersion);
    QJsonObject deadTimes;
    for (DeadTimeModel model : models) {
        if (model == DeadTimeModel::Quadratic)
            continue; // the expansion cannot be inverted over the whole range
        QJsonArray list;
        for (const ChannelComparison &c : channels)
            list.append(channelJson(c, model));
        deadTimes.insert(deadTimeModelName(model), list);
    }
    root.insert(QStringLiteral("deadTimes"), deadTimes);
    root.insert(QStringLiteral("provenance"), provenanceJson(provenance));
}

QJsonObject deadTimesFileJson(DeadTimeModel model, int points,
                              const QVector<ChannelComparison> &channels,
                              const DeadTimesProvenance &provenance)
{
    QJsonObject root;
    root.insert(QStringLiteral("model"), deadTimeModelName(model));
    root.insert(QStringLiteral("points"), points);
    root.insert(QStringLiteral("channels"), channels.size());
    addDeadTimesFileKeys(root, { model }, channels, provenance);
    return root;
}

DeadTimesFile readDeadTimesFile(const QByteArray &bytes, std::optional<DeadTimeModel> model)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (doc.isNull())
        return failed(QStringLiteral("not JSON: %1 at byte %2")
                              .arg(parseError.errorString())
                              .arg(parseError.offset));
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != formatName)
        return failed(QStringLiteral("not a dead-time file (no \"format\": \"%1\"); write one "
                                     "with ratelens-batch --model paralyzable --json")
                              .arg(formatName));
    const int version = root.value(QStringLiteral("version")).toInt(0);
    if (version < 1)
        return failed(QStringLiteral("the file has no valid \"version\""));
    if (version > deadTimesFileVersion)
        return failed(QStringLiteral("version %1 of the dead-time file is newer than this "
                                     "Ratelens reads (%2)")
                              .arg(version)
                              .arg(deadTimesFileVersion));
    const QJsonObject deadTimes = root.value(QStringLiteral("deadTimes")).toObject();
    if (deadTimes.isEmpty())
        return failed(QStringLiteral("the file holds no paralyzable or nonparalyzable dead "
                                     "times (fitted with --model %1)")
                              .arg(root.value(QStringLiteral("model")).toString()));
    DeadTimesFile f;
    f.error = chooseModel(deadTimes, model, f.model);
    if (!f.error.isEmpty())
        return f;
    const QJsonArray list = deadTimes.value(deadTimeModelName(f.model)).toArray();
    const QVector<bool> excluded = excludedChannels(root);
    for (int j = 0; j < list.size(); ++j) {
        ChannelDeadTimes c = channelFromJson(list.at(j).toObject());
        if (c.channel != j)
            return failed(QStringLiteral("channel %1 is listed in place %2").arg(c.channel).arg(j));
        c.standing.leftOut = excluded.value(j);
        f.channels.append(c);
    }
    if (f.channels.isEmpty())
        return failed(QStringLiteral("the file lists no channel"));
    const QJsonObject provenance = root.value(QStringLiteral("provenance")).toObject();
    f.channelElements = channelElementsOf(provenance.value(QStringLiteral("recipe")).toString(),
                                          f.channels.size());
    return f;
}
