// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QVector>

#include <cmath>
#include <random>

// Recordings of a simulated four-element detector whose both stages follow
// the paralyzable law, m = n exp(-n tau), with known dead times: the scans a
// beamline gives, good and bad, for the verdicts on what they can tell.
namespace simulated {

enum class Scan {
    Intensity, // I0 stepped from 2e4 to 6e5 per second: up to 20 % loss
    PastThePeak, // I0 up to 4e6: the pre-amplifiers pass n tau0 = 1
    IntensityWithSpike, // one ICR reading half again too high
    EnergyConstantI0, // across an absorption edge (x3) with I0 steady
    EnergyDriftingI0, // the same while I0 falls by a factor 3 (ring current)
    EnergyWithDarkPoint, // steady I0 but for one dark reading
    BrokenElement, // element 2's fast channel misses 40 % of its events
    ZeroOcr, // no SCA counts at all
    UnconnectedElement, // element 2 records zeros in ICR and SCA
    NanElement, // element 2 records nan in ICR and SCA
    ConstantRates, // a stale readout: ICR and SCA never change
};

struct Recording
{
    QVector<double> i0;
    QVector<QVector<double>> icr; // per element
    QVector<QVector<double>> sca;
};

constexpr int elements = 4;
constexpr double a[elements] = { 1.0, 1.1, 0.9, 1.05 };
constexpr double tau0[elements] = { 2.0e-7, 2.5e-7, 3.0e-7, 3.5e-7 };
constexpr double tau[elements] = { 5.0e-7, 5.5e-7, 6.0e-7, 6.5e-7 };

inline double counted(double n, double deadTime)
{
    return n * std::exp(-n * deadTime);
}

// The incident intensity per second and the share of it each element sees
// (an absorption edge makes it jump).
struct Beam
{
    QVector<double> i0;
    QVector<double> share;
};

inline Beam beamOf(Scan scan)
{
    Beam b;
    const bool energy = scan == Scan::EnergyConstantI0 || scan == Scan::EnergyDriftingI0
        || scan == Scan::EnergyWithDarkPoint;
    const int n = energy ? 60 : 20;
    const double top = scan == Scan::PastThePeak ? 4e6 : 6e5;
    for (int p = 0; p < n; ++p) {
        const double e = double(p) / (n - 1);
        if (!energy) {
            b.i0.append(2e4 + (top - 2e4) * e);
            b.share.append(1.0);
            continue;
        }
        // Above the edge three times the fluorescence, with its fine structure.
        b.share.append(e > 0.4 ? 3.0 * (1.0 + 0.05 * std::sin(40.0 * e)) : 1.0);
        b.i0.append(scan == Scan::EnergyDriftingI0 ? 3e5 - 2e5 * e
                                                   : 3e5 * (1.0 + 0.002 * std::sin(7.0 * p)));
    }
    if (scan == Scan::EnergyWithDarkPoint)
        b.i0[0] = 50.0;
    return b;
}

// Counted over countingTime seconds with counting noise, written as rates in
// counts per second divided by unit (1000 for kcps).
inline Recording record(Scan scan, double countingTime, double unit, unsigned seed)
{
    std::mt19937 rng(seed);
    const auto rate = [&](double mean) {
        const double counts
            = double(std::poisson_distribution<long long>(mean * countingTime)(rng));
        return counts / countingTime / unit;
    };
    const Beam beam = beamOf(scan);
    Recording r;
    r.icr.resize(elements);
    r.sca.resize(elements);
    for (int p = 0; p < beam.i0.size(); ++p) {
        r.i0.append(rate(beam.i0[p]));
        for (int j = 0; j < elements; ++j) {
            const double icr = counted(a[j] * beam.i0[p] * beam.share[p], tau0[j]);
            const double sca = counted(icr, tau[j]);
            const double seen = scan == Scan::BrokenElement && j == 2 ? 0.6 : 1.0;
            r.icr[j].append(rate(icr * seen));
            r.sca[j].append(scan == Scan::ZeroOcr ? 0.0 : rate(sca));
        }
    }
    if (scan == Scan::IntensityWithSpike)
        r.icr[1][12] *= 1.5;
    if (scan == Scan::UnconnectedElement || scan == Scan::NanElement) {
        const double dead = scan == Scan::NanElement ? std::nan("") : 0.0;
        r.icr[2].fill(dead);
        r.sca[2].fill(dead);
    }
    if (scan == Scan::ConstantRates) {
        for (int j = 0; j < elements; ++j) {
            r.icr[j].fill(r.icr[j].first());
            r.sca[j].fill(r.sca[j].first());
        }
    }
    return r;
}

// The recording as a point table: "# Channels : 4", then per point I0, the
// ICRs and the SCAs.
inline QByteArray pointTable(const Recording &r)
{
    QByteArray text = "# Channels : " + QByteArray::number(r.icr.size()) + '\n';
    for (int p = 0; p < r.i0.size(); ++p) {
        text += QByteArray::number(r.i0[p], 'g', 12);
        for (const QVector<double> &column : r.icr)
            text += ' ' + QByteArray::number(column[p], 'g', 12);
        for (const QVector<double> &column : r.sca)
            text += ' ' + QByteArray::number(column[p], 'g', 12);
        text += '\n';
    }
    return text;
}

// The recording as a column file of rates that the built-in recipe reads:
// "# I0 ICR1 ... ICR4 OCR1 ... OCR4", one row per point.
inline QByteArray columnFile(const Recording &r)
{
    QByteArray text = "# I0";
    for (int j = 1; j <= r.icr.size(); ++j)
        text += " ICR" + QByteArray::number(j);
    for (int j = 1; j <= r.sca.size(); ++j)
        text += " OCR" + QByteArray::number(j);
    return text + '\n' + pointTable(r).mid(pointTable(r).indexOf('\n') + 1);
}

} // namespace simulated
