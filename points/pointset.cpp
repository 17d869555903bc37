// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointset.h"

#include <algorithm>
#include <iterator>

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
    add(i0, icrs.constData(), icrs.size(), scas.constData(), scas.size(), source);
}

void PointSet::add(double i0, const double *icrs, int icrCount, const double *scas, int scaCount,
                   const PointSource &source)
{
    const int m = std::min(icrCount, scaCount);
    if (isEmpty()) {
        m_chs = m;
        m_icrColumns.fill(QVector<double>(), m);
        m_scaColumns.fill(QVector<double>(), m);
        for (int j = 0; j < m; ++j) {
            m_icrColumns[j].reserve(m_reserved);
            m_scaColumns[j].reserve(m_reserved);
        }
        m_reserved = 0;
    } else if (m < m_chs) {
        narrowTo(m);
    }
    const int p = size();
    m_i0s.append(i0);
    appendSource(source.file, source.line);
    QVector<double> *icrColumns = m_icrColumns.data();
    QVector<double> *scaColumns = m_scaColumns.data();
    for (int j = 0; j < m_chs; ++j) {
        icrColumns[j].append(icrs[j]);
        scaColumns[j].append(scas[j]);
    }
    if (icrCount > m_chs || scaCount > m_chs)
        m_tails.insert(p, Tail { QVector<double>(icrs + m_chs, icrs + icrCount),
                                 QVector<double>(scas + m_chs, scas + scaCount) });
    widenRanges(i0, icrs, icrCount, scas, scaCount);
}

void PointSet::addRows(const double *rows, int count, int channels, const QString &file,
                       const int *lines)
{
    const qint64 stride = 1 + 2 * qint64(channels);
    const auto addRow = [&](int r) {
        const double *row = rows + r * stride;
        add(row[0], row + 1, channels, row + 1 + channels, channels,
            PointSource { file, lines[r] });
    };
    // A row that sets or narrows the channel count changes the columns
    // themselves; rows with more channels than the set keep tails.
    int r = 0;
    for (; r < count && (isEmpty() || channels < m_chs); ++r)
        addRow(r);
    if (channels != m_chs) {
        for (; r < count; ++r)
            addRow(r);
        return;
    }
    const int first = size();
    const int n = count - r;
    const double *block = rows + r * stride;
    const auto fill = [&](QVector<double> &column, qint64 offset) {
        column.resize(first + n);
        double *to = column.data() + first;
        for (int k = 0; k < n; ++k)
            to[k] = block[k * stride + offset];
    };
    fill(m_i0s, 0);
    for (int j = 0; j < m_chs; ++j) {
        fill(m_icrColumns[j], 1 + j);
        fill(m_scaColumns[j], 1 + channels + j);
    }
    for (int k = 0; k < n; ++k) {
        const double *row = block + k * stride;
        appendSource(file, lines[r + k]);
        widenRanges(row[0], row + 1, channels, row + 1 + channels, channels);
    }
}

void PointSet::appendSource(const QString &file, int line)
{
    // A null name and an empty one compare equal but are kept apart.
    if (m_files.isEmpty() || m_files.last().file != file
        || m_files.last().file.isNull() != file.isNull())
        m_files.append(FileRun { m_lines.size(), file });
    m_lines.append(line);
}

PointSource PointSet::source(int p) const
{
    const auto after = std::upper_bound(m_files.begin(), m_files.end(), p,
                                        [](int q, const FileRun &run) { return q < run.first; });
    return PointSource { std::prev(after)->file, m_lines.at(p) };
}

QVector<PointSource> PointSet::sources() const
{
    QVector<PointSource> all;
    all.reserve(size());
    for (int p = 0; p < size(); ++p)
        all.append(source(p));
    return all;
}

// A point with fewer channels: the columns beyond its count go back to the
// points they belong to.
void PointSet::narrowTo(int chs)
{
    for (int p = 0; p < size(); ++p) {
        Tail tail;
        for (int j = chs; j < m_chs; ++j) {
            tail.icrs.append(m_icrColumns[j][p]);
            tail.scas.append(m_scaColumns[j][p]);
        }
        const auto old = m_tails.constFind(p);
        if (old != m_tails.constEnd()) {
            tail.icrs += old->icrs;
            tail.scas += old->scas;
        }
        m_tails.insert(p, tail);
    }
    m_icrColumns.resize(chs);
    m_scaColumns.resize(chs);
    m_chs = chs;
}

// A point without ICR (or SCA) values widens that range by -1 .. 1, so that
// the plots still get a scale to draw on.
void PointSet::widenRanges(double i0, const double *icrs, int icrCount, const double *scas,
                           int scaCount)
{
    ValueRanges &r = m_ranges;
    widenRange(r.hasI0, r.i0Min, r.i0Max, i0, i0);
    double lo = 1e300, hi = -1e300;
    bool has = false;
    for (int k = 0; k < icrCount; ++k)
        widenRange(has, lo, hi, icrs[k], icrs[k]);
    widenRange(r.hasIcr, r.icrMin, r.icrMax, has ? lo : -1.0, has ? hi : 1.0);
    lo = 1e300, hi = -1e300, has = false;
    for (int k = 0; k < scaCount; ++k)
        widenRange(has, lo, hi, scas[k], scas[k]);
    widenRange(r.hasSca, r.scaMin, r.scaMax, has ? lo : -1.0, has ? hi : 1.0);
}

void PointSet::reserve(int more)
{
    m_i0s.reserve(size() + more);
    m_lines.reserve(size() + more);
    if (isEmpty()) {
        m_reserved = more;
        return;
    }
    for (int j = 0; j < m_chs; ++j) {
        m_icrColumns[j].reserve(size() + more);
        m_scaColumns[j].reserve(size() + more);
    }
}

MeasValues PointSet::at(int p) const
{
    MeasValues v;
    v.i0 = m_i0s.at(p);
    const auto tail = m_tails.constFind(p);
    const int extra = tail == m_tails.constEnd() ? 0 : tail->icrs.size();
    const int extraSca = tail == m_tails.constEnd() ? 0 : tail->scas.size();
    v.icrs.reserve(m_chs + extra);
    v.scas.reserve(m_chs + extraSca);
    for (int j = 0; j < m_chs; ++j) {
        v.icrs.append(m_icrColumns[j].at(p));
        v.scas.append(m_scaColumns[j].at(p));
    }
    if (tail != m_tails.constEnd()) {
        v.icrs += tail->icrs;
        v.scas += tail->scas;
    }
    return v;
}

int PointSet::channelsOf(int p) const
{
    const auto tail = m_tails.constFind(p);
    if (tail == m_tails.constEnd())
        return m_chs;
    return m_chs + std::min(tail->icrs.size(), tail->scas.size());
}

QVector<MeasValues> PointSet::points() const
{
    QVector<MeasValues> all;
    all.reserve(size());
    for (int p = 0; p < size(); ++p)
        all.append(at(p));
    return all;
}

void PointSet::clear()
{
    m_lines.clear();
    m_files.clear();
    m_ranges = ValueRanges();
    m_i0s.clear();
    m_icrColumns.clear();
    m_scaColumns.clear();
    m_tails.clear();
    m_reserved = 0;
}

void PointSet::removeAt(int p)
{
    QVector<MeasValues> all = points();
    QVector<PointSource> sources = this->sources();
    all.remove(p);
    sources.remove(p);
    clear();
    for (int k = 0; k < all.size(); ++k)
        add(all[k].i0, all[k].icrs, all[k].scas, sources[k]);
}

int PointSet::removeFromFile(const QString &file, int end)
{
    const QVector<MeasValues> all = points();
    const QVector<PointSource> sources = this->sources();
    clear();
    int removed = 0;
    for (int k = 0; k < all.size(); ++k) {
        if (k < end && sources[k].file == file)
            ++removed;
        else
            add(all[k].i0, all[k].icrs, all[k].scas, sources[k]);
    }
    return removed;
}

ChannelSpread channelSpread(const PointSet &points)
{
    ChannelSpread spread;
    int fewest = 0;
    int most = 0;
    for (int p = 1; p < points.size(); ++p) {
        if (points.channelsOf(p) < points.channelsOf(fewest))
            fewest = p;
        if (points.channelsOf(p) > points.channelsOf(most))
            most = p;
    }
    if (points.size() > 1 && points.channelsOf(fewest) != points.channelsOf(most))
        spread = { fewest, most };
    return spread;
}

PointSet pointSetOf(const QVector<MeasValues> &points)
{
    PointSet set;
    for (const MeasValues &p : points)
        set.add(p.i0, p.icrs, p.scas);
    return set;
}
