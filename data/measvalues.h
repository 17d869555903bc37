// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QVector>

// The values of one measurement point as the analysis and the plots read them:
// the incident intensity and, per detector channel, the input count rate (ICR)
// and the count inside the channel's SCA window. Copies share their arrays.
struct MeasValues
{
    double i0 = 0.0;
    QVector<double> icrs;
    QVector<double> scas;
};

// Widens a value range by [lo, hi]. An empty range is has == false with
// min = 1e300 and max = -1e300, so that the first widening takes the values.
inline void widenRange(bool &has, double &min, double &max, double lo, double hi)
{
    has = true;
    if (lo < min)
        min = lo;
    if (hi > max)
        max = hi;
}

// The value ranges of a set of points, as the plots take them for their scales.
// A point without ICR (or SCA) values widens that range by -1 .. 1.
struct ValueRanges
{
    bool hasI0 = false;
    double i0Min = 1e300, i0Max = -1e300;
    bool hasIcr = false;
    double icrMin = 1e300, icrMax = -1e300;
    bool hasSca = false;
    double scaMin = 1e300, scaMax = -1e300;

    void include(const MeasValues &p);
};

// Smallest and largest value of v, or the empty range when v is empty.
void arrayRange(const QVector<double> &v, bool &has, double &min, double &max);

inline void ValueRanges::include(const MeasValues &p)
{
    widenRange(hasI0, i0Min, i0Max, p.i0, p.i0);
    bool has;
    double lo, hi;
    arrayRange(p.icrs, has, lo, hi);
    if (!has) {
        lo = -1.0;
        hi = 1.0;
    }
    widenRange(hasIcr, icrMin, icrMax, lo, hi);
    arrayRange(p.scas, has, lo, hi);
    if (!has) {
        lo = -1.0;
        hi = 1.0;
    }
    widenRange(hasSca, scaMin, scaMax, lo, hi);
}

inline void arrayRange(const QVector<double> &v, bool &has, double &min, double &max)
{
    has = false;
    min = 1e300;
    max = -1e300;
    for (double x : v) {
        has = true;
        if (x < min)
            min = x;
        if (x > max)
            max = x;
    }
}
