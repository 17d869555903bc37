// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchdata.h"

#include <QFile>

#include <charconv>
#include <cmath>

namespace benchdata {

std::uint64_t Rng::next()
{
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double Rng::uniform()
{
    return double(next() >> 11) * 0x1.0p-53;
}

double Rng::normal()
{
    // Box-Muller; 1 - uniform() keeps the logarithm away from zero.
    const double u = 1.0 - uniform();
    const double v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * M_PI * v);
}

long Rng::poisson(double mean)
{
    if (mean <= 0.0)
        return 0;
    if (mean < 30.0) {
        const double limit = std::exp(-mean);
        long k = 0;
        double prod = uniform();
        while (prod > limit) {
            ++k;
            prod *= uniform();
        }
        return k;
    }
    // Above a few tens of counts the normal approximation is indistinguishable
    // in a spectrum and much cheaper.
    const double x = std::floor(mean + std::sqrt(mean) * normal() + 0.5);
    return x < 0.0 ? 0 : long(x);
}

Detector Detector::make(int channels, std::uint64_t seed)
{
    Rng rng(seed);
    Detector d;
    d.channels = channels;
    for (int j = 0; j < channels; ++j) {
        d.gain.append(0.85 + 0.3 * rng.uniform());
        d.tau0.append(0.8e-6 * (0.9 + 0.2 * rng.uniform()));
        d.tau.append(1.5e-6 * (0.9 + 0.2 * rng.uniform()));
        d.windowShare.append(0.45 + 0.1 * rng.uniform());
    }
    return d;
}

double Detector::inputRate(int j, double i0) const
{
    const double n = gain[j] * i0;
    return n * std::exp(-n * tau0[j]);
}

double Detector::outputRate(int j, double i0) const
{
    const double nin = inputRate(j, i0);
    return nin * std::exp(-nin * tau[j]);
}

double scanI0(int p, int n)
{
    const double lo = 2e4, hi = 4e5;
    if (n <= 1)
        return lo;
    return lo * std::pow(hi / lo, double(p) / double(n - 1));
}

namespace {

    void appendFixed(QByteArray &out, double v, int precision)
    {
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
        out.append(buf, int(r.ptr - buf));
    }

    void appendInt(QByteArray &out, long v)
    {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        out.append(buf, int(r.ptr - buf));
    }

    double gauss(double x, double mu, double sigma)
    {
        const double t = (x - mu) / sigma;
        return std::exp(-0.5 * t * t);
    }

    // Fe K alpha and K beta, the usual calibration peaks of such a detector.
    constexpr double peak1KeV = 6.404, peak1Sigma = 0.070;
    constexpr double peak2KeV = 7.058, peak2Sigma = 0.075;

} // namespace

QByteArray spectrumFile(int channels, int bins, double i0, std::uint64_t seed)
{
    const Detector det = Detector::make(channels, seed);
    Rng rng(seed ^ 0xa5a5a5a5ULL);
    const double liveTime = 2.0;

    QVector<double> keVPerBin(channels), offset(channels);
    QVector<int> roiLow(channels), roiHigh(channels);
    // Expected counts per bin, per channel: background and two peaks scaled
    // to the channel's output counts.
    QVector<QVector<double>> expected(channels);
    for (int j = 0; j < channels; ++j) {
        keVPerBin[j] = 40.96 / bins * (1.0 + 0.002 * (j % 5 - 2));
        offset[j] = 0.005 * (j % 3);
        roiLow[j] = int(std::lround((peak1KeV - 2.5 * peak1Sigma - offset[j]) / keVPerBin[j]));
        roiHigh[j] = int(std::lround((peak1KeV + 2.5 * peak1Sigma - offset[j]) / keVPerBin[j]));
        QVector<double> shape(bins);
        double total = 0.0;
        for (int b = 0; b < bins; ++b) {
            const double e = offset[j] + keVPerBin[j] * b;
            const double background = 0.02 * std::exp(-e / 12.0) + 0.002;
            shape[b] = background + 1.0 * gauss(e, peak1KeV, peak1Sigma) * keVPerBin[j] / 0.01
                + 0.14 * gauss(e, peak2KeV, peak2Sigma) * keVPerBin[j] / 0.01;
            total += shape[b];
        }
        const double counts = det.outputRate(j, i0) * liveTime;
        for (double &s : shape)
            s *= counts / total;
        expected[j] = shape;
    }

    QByteArray out;
    out.reserve(bins * (6 + channels * 11) + channels * 80 + 200);
    out.append("# Ratelens benchmark spectrum\n# Date : 2026-01-01 12:00:00\n# I0 : ");
    appendFixed(out, i0, 1);
    out.append("\n# Live time : 2.000\n");
    for (int j = 0; j < channels; ++j) {
        const double nin = det.inputRate(j, i0) * (1.0 + 1e-3 * rng.normal());
        const double realTime = liveTime * det.gain[j] * i0 / det.inputRate(j, i0);
        out.append("# MCA Ch Info : ");
        appendInt(out, j);
        out.append(' ');
        appendFixed(out, realTime, 3);
        out.append(' ');
        appendFixed(out, liveTime, 3);
        out.append(' ');
        appendFixed(out, keVPerBin[j], 6);
        out.append(' ');
        appendFixed(out, offset[j], 4);
        out.append(' ');
        appendFixed(out, nin, 3);
        out.append(' ');
        appendInt(out, roiLow[j]);
        out.append(' ');
        appendInt(out, roiHigh[j]);
        out.append('\n');
    }
    for (int b = 0; b < bins; ++b) {
        appendInt(out, b);
        for (int j = 0; j < channels; ++j) {
            out.append(' ');
            appendFixed(out, offset[j] + keVPerBin[j] * b, 4);
            out.append(' ');
            appendInt(out, rng.poisson(expected[j][b]));
        }
        out.append('\n');
    }
    return out;
}

namespace {

    MeasValues scanPoint(const Detector &det, Rng &rng, double i0)
    {
        MeasValues m;
        m.i0 = i0 * (1.0 + 1e-3 * rng.normal());
        for (int j = 0; j < det.channels; ++j) {
            m.icrs.append(det.inputRate(j, i0) * (1.0 + 1e-3 * rng.normal()));
            m.scas.append(double(rng.poisson(det.windowShare[j] * det.outputRate(j, i0))));
        }
        return m;
    }

} // namespace

QByteArray pointTable(int channels, int lines, std::uint64_t seed)
{
    const Detector det = Detector::make(channels, seed);
    Rng rng(seed ^ 0x5a5a5a5aULL);
    QByteArray out;
    out.reserve(lines * (10 + channels * 19) + 64);
    out.append("# Channels : ");
    appendInt(out, channels);
    out.append('\n');
    // Repeated scans of 200 intensities, as a long run would record them.
    for (int line = 0; line < lines; ++line) {
        const MeasValues m = scanPoint(det, rng, scanI0(line % 200, 200));
        appendFixed(out, m.i0, 1);
        for (double v : m.icrs) {
            out.append(' ');
            appendFixed(out, v, 2);
        }
        for (double v : m.scas) {
            out.append(' ');
            appendFixed(out, v, 1);
        }
        out.append('\n');
    }
    return out;
}

QVector<MeasValues> scanPoints(int channels, int points, std::uint64_t seed)
{
    const Detector det = Detector::make(channels, seed);
    Rng rng(seed ^ 0x5a5a5a5aULL);
    QVector<MeasValues> result;
    result.reserve(points);
    for (int p = 0; p < points; ++p)
        result.append(scanPoint(det, rng, scanI0(p, points)));
    return result;
}

QByteArray formatPoints(const QVector<MeasValues> &points)
{
    QByteArray out;
    const int chs = points.isEmpty() ? 0 : points.first().icrs.size();
    out.append("# Channels : ");
    appendInt(out, chs);
    out.append('\n');
    char buf[64];
    auto appendShortest = [&](double v) {
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        out.append(buf, int(r.ptr - buf));
    };
    for (const MeasValues &m : points) {
        appendShortest(m.i0);
        for (double v : m.icrs) {
            out.append(' ');
            appendShortest(v);
        }
        for (double v : m.scas) {
            out.append(' ');
            appendShortest(v);
        }
        out.append('\n');
    }
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size() && f.flush();
}

} // namespace benchdata
