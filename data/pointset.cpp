// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointset.h"

#include <algorithm>

void arrayRange(const QVector<double> &v, bool &has, double &min, double &max)
{
    has = false;
    min = 1e300;
    max = -1e300;
    for (double x : v)
        widenRange(has, min, max, x, x);
}

void PointSet::add(double i0, const QVector<double> &icrs, const QVector<double> &scas,
                   const PointSource &source)
{
    const int m = std::min(icrs.size(), scas.size());
    if (m_points.isEmpty() || m < m_chs) {
        m_chs = m;
        if (m_points.isEmpty()) {
            m_icrColumns.fill(QVector<double>(), m);
            m_scaColumns.fill(QVector<double>(), m);
        } else {
            m_icrColumns.resize(m);
            m_scaColumns.resize(m);
        }
    }
    m_points.append(MeasValues { i0, icrs, scas });
    m_sources.append(source);
    m_i0s.append(i0);
    for (int j = 0; j < m_chs; ++j) {
        m_icrColumns[j].append(icrs[j]);
        m_scaColumns[j].append(scas[j]);
    }

    // A point without ICR (or SCA) values widens that range by -1 .. 1, so that
    // the plots still get a scale to draw on.
    ValueRanges &r = m_ranges;
    widenRange(r.hasI0, r.i0Min, r.i0Max, i0, i0);
    bool has;
    double lo, hi;
    arrayRange(icrs, has, lo, hi);
    widenRange(r.hasIcr, r.icrMin, r.icrMax, has ? lo : -1.0, has ? hi : 1.0);
    arrayRange(scas, has, lo, hi);
    widenRange(r.hasSca, r.scaMin, r.scaMax, has ? lo : -1.0, has ? hi : 1.0);
}

void PointSet::clear()
{
    m_points.clear();
    m_sources.clear();
    m_ranges = ValueRanges();
    m_i0s.clear();
    m_icrColumns.clear();
    m_scaColumns.clear();
}

void PointSet::removeAt(int p)
{
    QVector<MeasValues> points = m_points;
    QVector<PointSource> sources = m_sources;
    points.remove(p);
    sources.remove(p);
    clear();
    for (int k = 0; k < points.size(); ++k)
        add(points[k].i0, points[k].icrs, points[k].scas, sources[k]);
}

int PointSet::removeFromFile(const QString &file, int end)
{
    const QVector<MeasValues> points = m_points;
    const QVector<PointSource> sources = m_sources;
    clear();
    int removed = 0;
    for (int k = 0; k < points.size(); ++k) {
        if (k < end && sources[k].file == file)
            ++removed;
        else
            add(points[k].i0, points[k].icrs, points[k].scas, sources[k]);
    }
    return removed;
}

PointSet pointSetOf(const QVector<MeasValues> &points)
{
    PointSet set;
    for (const MeasValues &p : points)
        set.add(p.i0, p.icrs, p.scas);
    return set;
}
