// SPDX-License-Identifier: GPL-3.0-or-later
#include "verdict.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

// The value at share q of the sorted values (0: the smallest, 1: the largest).
double quantile(QVector<double> v, double q)
{
    if (v.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    const auto k = std::ptrdiff_t(std::lround(q * (v.size() - 1)));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return v[int(k)];
}

// For normally distributed values, the median of |z| is 0.6745 and its upper
// quartile 1.1503 standard deviations: these turn either into a standard
// deviation that one odd value cannot move far.
constexpr double medianAbsNormal = 0.6745;
constexpr double upperQuartileAbsNormal = 1.1503;

// The spread of values from one to the next in the given order: for values
// that scatter independently it is their standard deviation; for values that
// follow a trend or a curve it is far smaller than their spread.
double neighbourScatter(const QVector<double> &v, const QVector<int> &order)
{
    QVector<double> steps;
    for (int i = 1; i < order.size(); ++i)
        steps.append(std::fabs(v[order[i]] - v[order[i - 1]]));
    return quantile(steps, 0.5) / (medianAbsNormal * std::sqrt(2.0));
}

QVector<int> identityOrder(int n)
{
    QVector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    return order;
}

QVector<int> orderBy(const QVector<double> &x)
{
    QVector<int> order = identityOrder(x.size());
    std::stable_sort(order.begin(), order.end(), [&x](int a, int b) { return x[a] < x[b]; });
    return order;
}

// At most one value other than zero: a readout that did not change (points
// without counts aside) carries no rate dependence.
bool oneRate(const QVector<double> &v)
{
    const auto first = std::find_if(v.begin(), v.end(), [](double value) { return value != 0.0; });
    return std::all_of(first, v.end(),
                       [first](double value) { return value == 0.0 || value == *first; });
}

bool allZero(const QVector<double> &v)
{
    return std::all_of(v.begin(), v.end(), [](double value) { return value == 0.0; });
}

// The positive I0 span less than intensityScanSpan, among five or more once
// any one of them is left out: a single dark point, or a single spike, spans
// nothing. Of fewer points none can be told to be the odd one.
bool narrowSpan(const QVector<double> &i0)
{
    // The two smallest and the two largest positive values, in one pass: a
    // table of a hundred thousand points need not be sorted for them.
    const double inf = std::numeric_limits<double>::infinity();
    double low[2] = { inf, inf };
    double high[2] = { -inf, -inf };
    int n = 0;
    for (double v : i0) {
        if (!(v > 0.0))
            continue;
        ++n;
        if (v < low[0]) {
            low[1] = low[0];
            low[0] = v;
        } else if (v < low[1]) {
            low[1] = v;
        }
        if (v > high[0]) {
            high[1] = high[0];
            high[0] = v;
        } else if (v > high[1]) {
            high[1] = v;
        }
    }
    if (n < 2)
        return true;
    const int odd = n >= oddPointsFrom ? 1 : 0;
    const double withoutLowest = high[0] / low[odd];
    const double withoutHighest = high[odd] / low[0];
    return !(std::fmin(withoutLowest, withoutHighest) >= intensityScanSpan);
}

} // namespace

bool scaAboveIcr(const QVector<double> &icr, const QVector<double> &sca)
{
    QVector<double> rate;
    QVector<double> ratio;
    for (int i = 0; i < icr.size(); ++i) {
        if (icr[i] > 0.0) {
            rate.append(icr[i]);
            ratio.append(sca[i] / icr[i]);
        }
    }
    const auto clearlyAbove
        = std::count_if(ratio.begin(), ratio.end(), [](double q) { return q > 1.0 + brokenShare; });
    if (ratio.size() < 3 || 2 * clearlyAbove <= ratio.size())
        return false;
    const double scatter = neighbourScatter(ratio, orderBy(rate));
    const double margin = std::fmax(brokenShare, brokenSigmas * scatter);
    const auto above = std::count_if(ratio.begin(), ratio.end(),
                                     [margin](double q) { return q > 1.0 + margin; });
    return 2 * above > ratio.size();
}

namespace {

bool hasNumbers(const StageFit &f)
{
    return std::isfinite(f.scale) && std::isfinite(f.tau)
        && (f.model != DeadTimeModel::Quadratic || std::isfinite(f.quadraticCoefficient));
}

// Whether one fit misses the points far beyond their scatter; false for a fit
// without numbers.
bool lacksFitOf(const StageFit &f, const QVector<double> &x, const QVector<double> &y)
{
    const int n = x.size();
    if (!hasNumbers(f) || n < 3)
        return false;
    const double yMax = *std::max_element(y.begin(), y.end());
    // As in the fits' weights: below a thousandth of the largest rate a value
    // no longer sets its own scale.
    const double floor = 1e-3 * yMax;
    // Cheap first: most stages miss fewer than a quarter of their points by
    // lackOfFitShare, and then nothing need be kept or sorted.
    int missed = 0;
    for (int i = 0; i < n; ++i) {
        const double m = fittedValue(f, x[i]);
        if (!std::isfinite(m))
            return false;
        missed += std::fabs(y[i] - m) > lackOfFitShare * std::fmax(m, floor);
    }
    if (4 * missed <= n)
        return false;
    QVector<double> residual(n);
    for (int i = 0; i < n; ++i) {
        const double m = fittedValue(f, x[i]);
        residual[i] = (y[i] - m) / std::sqrt(std::fmax(m, floor));
    }
    const double centre = quantile(residual, 0.5);
    QVector<double> deviation(n);
    for (int i = 0; i < n; ++i)
        deviation[i] = std::fabs(residual[i] - centre);
    const double spread = quantile(deviation, 0.75) / upperQuartileAbsNormal;
    const double scatter = std::fmin(neighbourScatter(residual, identityOrder(n)),
                                     neighbourScatter(residual, orderBy(x)));
    return spread > lackOfFitScatter * scatter;
}

} // namespace

QString verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Determined:
        break;
    case Verdict::TooFewPoints:
        return QStringLiteral("too-few-points");
    case Verdict::NoCounts:
        return QStringLiteral("no-counts");
    case Verdict::OneRate:
        return QStringLiteral("one-rate");
    case Verdict::Broken:
        return QStringLiteral("broken");
    case Verdict::NotIntensityScan:
        return QStringLiteral("not-intensity-scan");
    case Verdict::FitFailed:
        return QStringLiteral("fit-failed");
    }
    return QStringLiteral("determined");
}

Verdict verdictNamed(const QString &name)
{
    if (name.isEmpty())
        return Verdict::Determined;
    for (Verdict v : { Verdict::TooFewPoints, Verdict::NoCounts, Verdict::OneRate, Verdict::Broken,
                       Verdict::NotIntensityScan, Verdict::FitFailed }) {
        if (verdictName(v) == name)
            return v;
    }
    return Verdict::FitFailed;
}

QString verdictExplanation(Verdict verdict, FitStage stage)
{
    const bool pre = stage == FitStage::PreAmp;
    switch (verdict) {
    case Verdict::Determined:
        break;
    case Verdict::TooFewPoints:
        return QStringLiteral("fewer than 3 usable points");
    case Verdict::NoCounts:
        return pre ? QStringLiteral("ICR is zero at every point")
                   : QStringLiteral("ICR or SCA is zero at every point");
    case Verdict::OneRate:
        return pre ? QStringLiteral("ICR has one value at every point")
                   : QStringLiteral("ICR or SCA has one value at every point");
    case Verdict::Broken:
        return QStringLiteral("SCA lies above ICR at most points, which no counting loss "
                              "gives: the element's ICR misses events");
    case Verdict::NotIntensityScan:
        return QStringLiteral("I0 does not vary by a factor %1, or ICR does not follow it "
                              "(an energy scan)")
            .arg(intensityScanSpan);
    case Verdict::FitFailed:
        return QStringLiteral("no law gives a usable fit");
    }
    return QString();
}

void insertVerdict(QJsonObject &o, const QString &prefix, Verdict verdict)
{
    if (verdict != Verdict::Determined)
        o.insert(prefix + QStringLiteral("Undetermined"), verdictName(verdict));
}

bool usablePoint(double x, double y)
{
    return std::isfinite(x) && std::isfinite(y) && x >= 0.0 && y >= 0.0;
}

QVector<int> unusablePoints(const QVector<double> &x, const QVector<double> &y)
{
    QVector<int> points;
    const int n = std::min(x.size(), y.size());
    for (int i = 0; i < n; ++i) {
        if (!usablePoint(x[i], y[i]))
            points.append(i);
    }
    return points;
}

void keepUsable(const QVector<double> &x, const QVector<double> &y, QVector<double> &keptX,
                QVector<double> &keptY)
{
    keptX.clear();
    keptY.clear();
    const int n = std::min(x.size(), y.size());
    for (int i = 0; i < n; ++i) {
        if (usablePoint(x[i], y[i])) {
            keptX.append(x[i]);
            keptY.append(y[i]);
        }
    }
}

bool lacksFit(const QVector<double> &x, const QVector<double> &y,
              const QVector<const StageFit *> &fits)
{
    bool judged = false;
    for (const StageFit *f : fits) {
        if (!hasNumbers(*f))
            continue;
        if (!lacksFitOf(*f, x, y))
            return false;
        judged = true;
    }
    return judged;
}

Verdict judgeStage(FitStage stage, const QVector<double> &x, const QVector<double> &y,
                   const QVector<const StageFit *> &fits)
{
    const bool pre = stage == FitStage::PreAmp;
    if (std::min(x.size(), y.size()) < 3)
        return Verdict::TooFewPoints;
    if (allZero(y) || (!pre && allZero(x)))
        return Verdict::NoCounts;
    if (oneRate(y) || (!pre && oneRate(x)))
        return Verdict::OneRate;
    if (pre && (narrowSpan(x) || lacksFit(x, y, fits)))
        return Verdict::NotIntensityScan;
    if (std::none_of(fits.begin(), fits.end(), [](const StageFit *f) { return f->ok; }))
        return Verdict::FitFailed;
    return Verdict::Determined;
}

bool surelyDetermined(FitStage stage, const QVector<double> &x, const QVector<double> &y)
{
    QVector<double> keptX;
    QVector<double> keptY;
    const bool all = unusablePoints(x, y).isEmpty();
    if (!all)
        keepUsable(x, y, keptX, keptY);
    const QVector<double> &ux = all ? x : keptX;
    const QVector<double> &uy = all ? y : keptY;
    const StageFit quadratic = fitStage(DeadTimeModel::Quadratic, stage, ux, uy);
    return judgeStage(stage, ux, uy, { &quadratic }) == Verdict::Determined
        && (stage == FitStage::PreAmp || !scaAboveIcr(ux, uy));
}
