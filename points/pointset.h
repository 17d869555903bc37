// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
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
// The values are kept once, by channel: each common channel is one contiguous
// column over the points, which the fits and the plots walk; only the values
// of a point beyond the common channels (a point with more channels than
// another) are kept with the point. A table of a hundred thousand lines thus
// costs its numbers and no record per point.
class PointSet
{
public:
    // Appends a point. Its channel count is min(icrs size, scas size); the
    // set's channel count is the smallest over all points.
    void add(double i0, const QVector<double> &icrs, const QVector<double> &scas,
             const PointSource &source = PointSource());
    // The same from plain arrays of icrCount and scaCount values.
    void add(double i0, const double *icrs, int icrCount, const double *scas, int scaCount,
             const PointSource &source = PointSource());
    // Appends count points of channels channels each, as a point-table line
    // gives them: row r is rows[r * (1 + 2 * channels)] on, I0, then the
    // channels ICRs, then the channels SCAs; its source is file at lines[r].
    // The same set as add on each row, with each column grown once.
    void addRows(const double *rows, int count, int channels, const QString &file,
                 const int *lines);
    // Makes room for more points, so that a reader that knows how many lines
    // follow fills every column with one allocation and never moves it.
    void reserve(int more);
    // Removes point p; the channel count and the ranges follow from the others.
    void removeAt(int p);
    // Removes the points before index end that were read from file, in one
    // pass; returns how many went.
    int removeFromFile(const QString &file, int end);
    // Removes every point. The channel count is left as it was: it means
    // nothing while the set is empty and the next point sets it afresh.
    void clear();

    int size() const { return m_i0s.size(); }
    bool isEmpty() const { return m_i0s.isEmpty(); }
    // Point p as it was added, and all points in order, made from the columns.
    MeasValues at(int p) const;
    QVector<MeasValues> points() const;
    PointSource source(int p) const;

    // Channels common to all points; channels beyond it are kept with their
    // points but take part in nothing else.
    int chs() const { return m_chs; }
    // The channels of point p: chs(), or more for a point with values beyond it.
    int channelsOf(int p) const;
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
    // The values of a point from channel chs() on.
    struct Tail
    {
        QVector<double> icrs;
        QVector<double> scas;
    };
    void narrowTo(int chs);
    void widenRanges(double i0, const double *icrs, int icrCount, const double *scas,
                     int scaCount);

    // The sources: the line of every point, and the file of every run of
    // points read from the same file (by its first point), so that a table
    // of a hundred thousand lines costs an int per line.
    struct FileRun
    {
        int first;
        QString file;
    };
    void appendSource(const QString &file, int line);
    QVector<PointSource> sources() const;
    QVector<int> m_lines;
    QVector<FileRun> m_files;
    int m_chs = 0;
    ValueRanges m_ranges;
    QVector<double> m_i0s;
    QVector<QVector<double>> m_icrColumns;
    QVector<QVector<double>> m_scaColumns;
    QHash<int, Tail> m_tails; // by point, only for points with values beyond chs()
    int m_reserved = 0; // room asked for before the first point made the columns
};

// A set made of the given points, in order.
PointSet pointSetOf(const QVector<MeasValues> &points);

// The first point with the fewest channels and the first with the most, or
// -1 for both where all points have as many: a detector read with the wrong
// file, whose points are fitted only in the channels they all have.
struct ChannelSpread
{
    int fewest = -1;
    int most = -1;
};
ChannelSpread channelSpread(const PointSet &points);
