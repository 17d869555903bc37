// SPDX-License-Identifier: GPL-3.0-or-later
#include "correction.h"

#include <boost/math/policies/policy.hpp>
#include <boost/math/special_functions/lambert_w.hpp>

#include <cmath>
#include <limits>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

bool exactLaw(DeadTimeModel model)
{
    return model == DeadTimeModel::Paralyzable || model == DeadTimeModel::NonParalyzable;
}

// The inverse n = g(m; tau) with its partial derivatives, from the implicit
// m = f(n; tau): dn/dm = 1 / f_n and dn/dtau = -f_tau / f_n.
//   paralyzable:     f_n = exp(-n tau) (1 - n tau),  f_tau = -n^2 exp(-n tau)
//   non-paralyzable: f_n = 1 / (1 + n tau)^2,        f_tau = -n^2 / (1 + n tau)^2
struct Inverse
{
    double n = notANumber;
    double dm = notANumber;
    double dtau = notANumber;
};

Inverse invert(DeadTimeModel model, double m, double tau)
{
    Inverse r;
    r.n = trueRate(model, m, tau);
    if (!std::isfinite(r.n))
        return r;
    const double x = r.n * tau;
    // At the paralyzable law's peak (n tau = 1) the counted rate no longer
    // changes with n: any doubt in m or tau makes n unknown.
    if (model == DeadTimeModel::Paralyzable && !(x < 1.0)) {
        r.n = notANumber;
        return r;
    }
    if (model == DeadTimeModel::Paralyzable) {
        // exp(n tau) = n / m by the law itself: no second exponential per point.
        const double growth = m > 0.0 ? r.n / m : 1.0;
        r.dm = growth / (1.0 - x);
        r.dtau = r.n * r.n / (1.0 - x);
    } else {
        r.dm = (1.0 + x) * (1.0 + x);
        r.dtau = r.n * r.n;
    }
    return r;
}

// Lambert's W0 gives NaN, rather than throwing, for an argument beyond the
// branch point that rounding may bring within the check before it.
using QuietW = boost::math::policies::policy<
        boost::math::policies::domain_error<boost::math::policies::ignore_error>,
        boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
        boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;

Correction uncorrected(CorrectionFlag flag)
{
    return { notANumber, notANumber, notANumber, flag };
}

// k = n / SCA, or with SCA = 0 its limit n'(0) / SCA'(0) = dn/dSCA at zero.
Correction finish(double n, double sca, double dnDsca, double var)
{
    Correction c;
    c.nTrue = n;
    c.k = sca > 0.0 ? n / sca : dnDsca;
    c.kStdErr = sca > 0.0 ? std::sqrt(var) / sca : notANumber;
    if (!std::isfinite(c.k) || (c.kStdErr > c.k))
        return uncorrected(std::isfinite(c.k) ? CorrectionFlag::Uncertain
                                              : CorrectionFlag::BeyondReach);
    return c;
}

Correction fromIcr(DeadTimeModel model, const ElementDeadTimes &dt, double icr, double sca)
{
    // With no SCA counts k = n / SCA has no value, whatever the ICR.
    if (sca == 0.0)
        return uncorrected(CorrectionFlag::BadValue);
    const Inverse pre = invert(model, icr, dt.tau0);
    if (!std::isfinite(pre.n))
        return uncorrected(CorrectionFlag::BeyondReach);
    const double g = pre.dtau * dt.tau0StdErr;
    return finish(pre.n, sca, notANumber, g * g);
}

Correction fromSca(DeadTimeModel model, const ElementDeadTimes &dt, double sca)
{
    const double u = sca / dt.d0;
    const Inverse amp = invert(model, u, dt.tau);
    if (!std::isfinite(amp.n))
        return uncorrected(CorrectionFlag::BeyondReach);
    const Inverse pre = invert(model, amp.n, dt.tau0);
    if (!std::isfinite(pre.n))
        return uncorrected(CorrectionFlag::BeyondReach);
    // The gradient of n with respect to (tau0, tau, d0) by the chain rule.
    const double gTau0 = pre.dtau;
    const double gTau = pre.dm * amp.dtau;
    const double gD0 = -pre.dm * amp.dm * u / dt.d0;
    const double var = gTau0 * gTau0 * dt.tau0StdErr * dt.tau0StdErr
            + gTau * gTau * dt.tauStdErr * dt.tauStdErr + gD0 * gD0 * dt.d0StdErr * dt.d0StdErr
            + 2.0 * gTau * gD0 * dt.d0TauCovariance;
    // Rounding can make a variance of zero slightly negative; an unknown
    // standard error (NaN) must stay unknown, which fmax would not keep.
    return finish(pre.n, sca, pre.dm * amp.dm / dt.d0, var < 0.0 ? 0.0 : var);
}

// The amplifier alone with ICR as its input rate: k = ICR / f(ICR; tau),
// which is exp(ICR tau) for the paralyzable law and 1 + ICR tau for the
// other, with dk/dtau = ICR k and ICR.
Correction ampFromIcr(DeadTimeModel model, const ElementDeadTimes &dt, double icr)
{
    const double x = icr * dt.tau;
    Correction c;
    c.nTrue = icr;
    c.k = model == DeadTimeModel::Paralyzable ? std::exp(x) : 1.0 + x;
    const double dkDtau = model == DeadTimeModel::Paralyzable ? icr * c.k : icr;
    c.kStdErr = std::fabs(dkDtau) * dt.tauStdErr;
    if (!std::isfinite(c.k))
        return uncorrected(CorrectionFlag::BeyondReach);
    if (c.kStdErr > c.k)
        return uncorrected(CorrectionFlag::Uncertain);
    return c;
}

} // namespace

double highestCountedRate(DeadTimeModel model, double tau)
{
    switch (model) {
    case DeadTimeModel::Paralyzable:
        return 1.0 / (M_E * tau);
    case DeadTimeModel::NonParalyzable:
        return 1.0 / tau;
    case DeadTimeModel::Quadratic:
        return 1.0 / (4.0 * tau);
    }
    return notANumber;
}

double trueRate(DeadTimeModel model, double m, double tau)
{
    if (!exactLaw(model) || !(m >= 0.0) || !std::isfinite(m) || !(tau > 0.0))
        return notANumber;
    const double x = m * tau;
    if (model == DeadTimeModel::NonParalyzable)
        return x < 1.0 ? m / (1.0 - x) : notANumber;
    if (x > 1.0 / M_E)
        return notANumber;
    // n = m W0(-x)/(-x), a factor that tends to 1 as x -> 0: taken times m,
    // n keeps its relative precision however far below the dead time's reach
    // the rate lies, down to an m tau that is subnormal or zero.
    if (x == 0.0)
        return m;
    // Boost.Math's W0: rational approximations, no iteration. A scan inverts
    // once per point and element and twice from SCA; an iteration from a
    // rough start (GSL's, several Halley steps with an exponential each)
    // took most of the correction's time.
    const double w = boost::math::lambert_w0(-x, QuietW());
    return std::isfinite(w) ? m * (w / -x) : notANumber;
}

QString deadTimesProblem(DeadTimeModel model, const ElementDeadTimes &dt,
                         CorrectionSource source)
{
    if (!exactLaw(model))
        return QStringLiteral("the %1 model cannot be inverted; correct with paralyzable or "
                              "nonparalyzable dead times")
                .arg(deadTimeModelName(model));
    // A dead-time file holds null (NaN here) where a fit failed.
    auto problem = [](const char *name, double v) {
        if (std::isnan(v))
            return QStringLiteral("%1 is not known (not given, or its fit failed)")
                    .arg(QLatin1String(name));
        if (!(std::isfinite(v) && v > 0.0))
            return QStringLiteral("%1 must be positive, not %2").arg(QLatin1String(name)).arg(v);
        return QString();
    };
    if (source == CorrectionSource::AmpFromIcr)
        return problem("tau", dt.tau);
    QString why = problem("tau0", dt.tau0);
    if (!why.isEmpty() || source == CorrectionSource::Icr)
        return why;
    why = problem("tau", dt.tau);
    return why.isEmpty() ? problem("d0", dt.d0) : why;
}

QString standingProblem(const DeadTimesStanding &standing, CorrectionSource source)
{
    if (standing.leftOut)
        return QStringLiteral("its channel was left out of the fit (--exclude); correct with "
                              "dead times of a fit that kept it, or type them in with --tau0 "
                              "and --tau");
    // A broken element's ICR misses events: no rate of it corrects anything.
    if (standing.tau == Verdict::Broken || standing.tau0 == Verdict::Broken)
        return QStringLiteral("the element is broken (%1); check its fast channel's threshold, "
                              "or type its dead times in with --tau0 and --tau")
                .arg(verdictExplanation(Verdict::Broken, FitStage::Amp));
    const bool needsTau0 = source != CorrectionSource::AmpFromIcr;
    const bool needsTau = source != CorrectionSource::Icr;
    if (needsTau0 && standing.tau0 != Verdict::Determined)
        return QStringLiteral("tau0 was not determined (%1: %2); correct with dead times from "
                              "a calibration recorded at several intensities, type one in with "
                              "--tau0, or correct the amplifier stage alone with --stages amp")
                .arg(verdictName(standing.tau0),
                     verdictExplanation(standing.tau0, FitStage::PreAmp));
    if (needsTau && standing.tau != Verdict::Determined)
        return QStringLiteral("tau was not determined (%1: %2); correct with dead times of a "
                              "calibration that determines it, type one in with --tau, or "
                              "correct from ICR with --from icr")
                .arg(verdictName(standing.tau), verdictExplanation(standing.tau, FitStage::Amp));
    return QString();
}

Correction correctPoint(DeadTimeModel model, const ElementDeadTimes &dt, CorrectionSource source,
                        double icr, double sca)
{
    const bool icrBad = source != CorrectionSource::Sca && !(icr >= 0.0 && std::isfinite(icr));
    if (source == CorrectionSource::AmpFromIcr)
        return icrBad ? uncorrected(CorrectionFlag::BadValue) : ampFromIcr(model, dt, icr);
    if (icrBad || !(sca >= 0.0 && std::isfinite(sca)))
        return uncorrected(CorrectionFlag::BadValue);
    return source == CorrectionSource::Icr ? fromIcr(model, dt, icr, sca)
                                           : fromSca(model, dt, sca);
}
