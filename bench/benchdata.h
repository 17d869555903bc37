// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pointset.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

// Deterministic measurement data for the benchmarks: every input is computed
// from a seed, so the C++ benchmarks and the Python comparison read the same
// bytes on every run.
namespace benchdata {

// splitmix64: small, fast and the same everywhere, unlike the standard
// library's distributions whose output depends on the implementation.
class Rng
{
public:
    explicit Rng(std::uint64_t seed)
        : state(seed)
    { }
    std::uint64_t next();
    double uniform(); // [0, 1)
    double normal();
    long poisson(double mean);

private:
    std::uint64_t state;
};

// A multi-channel detector whose channels lose counts in two stages: the
// pre-amplifier (paralysable, dead time tau0) and the amplifier that feeds
// the SCA window (dead time tau).
struct Detector
{
    int channels = 0;
    QVector<double> gain; // true input rate per unit of I0
    QVector<double> tau0; // seconds
    QVector<double> tau; // seconds
    QVector<double> windowShare; // share of the output counts inside the SCA window

    static Detector make(int channels, std::uint64_t seed);
    double inputRate(int j, double i0) const; // ICR
    double outputRate(int j, double i0) const; // all counts after the amplifier
};

// I0 of point p of n in a scan from 2e4 to 4e5, evenly spaced on a log scale.
double scanI0(int p, int n);

// One spectrum file: I0 line, a few other header lines, one information line
// per channel and bins rows of "bin energy count energy count ...". Counts are
// Poisson draws around a background and two peaks; the SCA window covers the
// first peak.
QByteArray spectrumFile(int channels, int bins, double i0, std::uint64_t seed);

// A point table with a channel header and one line per point: I0, the ICR of
// every channel, then the SCA rate of every channel.
QByteArray pointTable(int channels, int lines, std::uint64_t seed);

// The points of a scan as the analysis and the plots take them.
QVector<MeasValues> scanPoints(int channels, int points, std::uint64_t seed);

// The same points as a point table, every number in its shortest exact form,
// so that another program reading the text gets the very same doubles.
QByteArray formatPoints(const QVector<MeasValues> &points);

// Writes bytes to path, replacing the file; false on failure.
bool writeFile(const QString &path, const QByteArray &bytes);

// Sizes that the benchmarks and the comparison use.
constexpr std::uint64_t spectrumSeed = 0x5eed0001;
constexpr std::uint64_t tableSeed = 0x5eed0002;
constexpr std::uint64_t scanSeed = 0x5eed0003;
constexpr double singleSpectrumI0 = 150000.0;

} // namespace benchdata
