// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>

// Where a measurement point was read: the file, and for a point table the
// line (from 1; 0 for a spectrum file, which is one point as a whole).
struct PointSource
{
    QString file;
    int line = 0;
};

// The values of one measurement point: the incident intensity and, per detector
// channel, the input count rate (ICR) and the count inside the channel's SCA
// window. Copies share their arrays.
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

// Smallest and largest value of v, or the empty range when v is empty.
void arrayRange(const QVector<double> &v, bool &has, double &min, double &max);

// The value ranges of a set of points, which the plots take for their scales.
struct ValueRanges
{
    bool hasI0 = false;
    double i0Min = 1e300, i0Max = -1e300;
    bool hasIcr = false;
    double icrMin = 1e300, icrMax = -1e300;
    bool hasSca = false;
    double scaMin = 1e300, scaMax = -1e300;
};

// The loaded measurement points, in load order (point index p), with the number
// of channels they all have and their value ranges. Every view of the points
// (the window's panels and plots, the batch command, the fits) reads them here.
//
// Besides the point records the set keeps each common channel as one
// contiguous column over the points: the fits and the plots walk a channel
// across all points, and on a table of a hundred thousand lines gathering
// those values out of the per-point records cost more than reading the file.
class PointSet
{
public:
    // Appends a point. Its channel count is min(icrs size, scas size); the
    // set's channel count is the smallest over all points.
    void add(double i0, const QVector<double> &icrs, const QVector<double> &scas,
             const PointSource &source = PointSource());
    // Removes point p; the channel count and the ranges follow from the others.
    void removeAt(int p);
    // Removes the points before index end that were read from file, in one
    // pass; returns how many went.
    int removeFromFile(const QString &file, int end);
    // Removes every point. The channel count is left as it was: it means
    // nothing while the set is empty and the next point sets it afresh.
    void clear();

    int size() const { return m_points.size(); }
    bool isEmpty() const { return m_points.isEmpty(); }
    const MeasValues &at(int p) const { return m_points.at(p); }
    const QVector<MeasValues> &points() const { return m_points; }
    const PointSource &source(int p) const { return m_sources.at(p); }

    // Channels common to all points; channels beyond it are kept in the point
    // records but take part in nothing else.
    int chs() const { return m_chs; }
    const ValueRanges &ranges() const { return m_ranges; }

    // Dead times need at least two points sharing at least two channels.
    bool canEstimate() const { return size() > 1 && m_chs >= 2; }
    // A single-element detector is a detector too: its one channel can be
    // fitted on its own, and the batch command and the fit details do so.
    bool canEstimateEachChannel() const { return size() > 1 && m_chs >= 1; }

    // Column p of each: i0s() over all points, and channel j < chs() of every point.
    const QVector<double> &i0s() const { return m_i0s; }
    const QVector<double> &icrColumn(int j) const { return m_icrColumns.at(j); }
    const QVector<double> &scaColumn(int j) const { return m_scaColumns.at(j); }

private:
    QVector<MeasValues> m_points;
    QVector<PointSource> m_sources;
    int m_chs = 0;
    ValueRanges m_ranges;
    QVector<double> m_i0s;
    QVector<QVector<double>> m_icrColumns;
    QVector<QVector<double>> m_scaColumns;
};

// A set made of the given points, in order.
PointSet pointSetOf(const QVector<MeasValues> &points);
