#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes simulated measurement files of a multi-channel XRF detector.

The detector has known dead times, so that Ratelens must find them again
within the counting noise.  Channel j (counted from 0) has

    pre-amplifier dead time  tau0_j = (2.0 + 0.5 * (j mod 4)) * 1e-7 s
    amplifier dead time      tau_j  = (1.0 + 0.25 * (j mod 4)) * 1e-6 s

that is 2.0e-7, 2.5e-7, 3.0e-7, 3.5e-7 s and 1.0e-6, 1.25e-6, 1.5e-6,
1.75e-6 s for channels 0 to 3, repeating from channel 4 on.

At incident intensity I0 the true input rate of channel j is r = g_j * I0
(g_j = 1.0 + 0.1 * (3j mod 5)).  The pre-amplifier passes ICR = r (1 - tau0 r)
of it, and of those the amplifier passes OCR = ICR (1 - tau ICR); the SCA
window holds the fixed fraction f of the output spectrum.  These are exactly
the quadratic laws that Ratelens fits, so the estimates carry no model bias,
only the noise: each bin of a spectrum, each ICR and each table SCA is drawn
from a Poisson distribution of its expected count over the real time of 10 s
(a seeded generator, so the same options always give the same bytes).

Spectrum files (one measurement point each) hold an "# I0 : " line, one
"# MCA Ch Info : " line per channel with 8 items (item 5 the ICR, items 6 and
7 the first and last bin of the SCA window, both included) and rows
"bin E C E C ..." with the energy and the count of every channel.  The point
table holds a "# Channels : N" header and one point per line:
I0, the N ICRs, the N SCAs.

Without options the small example set of the repository is written to
examples/: 6 spectrum files of 4 channels and 1024 bins, and a point table of
10 lines.  The options make larger inputs for benchmarks; write those to a
scratch folder, never into the repository.

Beside it goes a high-rate set, highrate/point_table.dat: an 8-channel
detector that is paralyzable in both stages, ICR = r exp(-tau0 r) and
OCR = ICR exp(-tau ICR), scanned to about 40 % pre-amplifier dead time, where
the quadratic laws above no longer hold (see HIGHRATE_* below for its
channels).  It has its own seed (--seed plus 100), so the small set's bytes do
not depend on it; --highrate-points 0 leaves it out.
"""

import argparse
import math
import os
import subprocess
import random
import sys

REAL_TIME = 10.0         # seconds counted per point
I0_LOW = 1.0e4           # smallest incident intensity
I0_HIGH = 1.6e5          # largest incident intensity
PEAK_KEV = 5.899         # Mn K-alpha
PEAK_SIGMA_KEV = 0.060
BETA_KEV = 6.490         # Mn K-beta
WINDOW_HALF_KEV = 0.15   # SCA window: the peak +- this
FULL_SCALE_KEV = 10.24   # energy of the last bin


def tau0_of(j):
    return (2.0 + 0.5 * (j % 4)) * 1e-7


def tau_of(j):
    return (1.0 + 0.25 * (j % 4)) * 1e-6


def gain_of(j):
    return 1.0 + 0.1 * ((3 * j) % 5)


class Noise:
    """Poisson counts from a seeded Mersenne Twister, using only random()
    so that every Python 3 version draws the same numbers."""

    def __init__(self, seed):
        self.rng = random.Random(seed)

    def normal(self):
        u1 = self.rng.random()
        u2 = self.rng.random()
        return math.sqrt(-2.0 * math.log(1.0 - u1)) * math.cos(2.0 * math.pi * u2)

    def poisson(self, mean):
        if mean <= 0.0:
            return 0
        if mean < 40.0:
            # Knuth: count uniform factors until their product drops below e^-mean.
            limit = math.exp(-mean)
            k = 0
            p = self.rng.random()
            while p > limit:
                k += 1
                p *= self.rng.random()
            return k
        return max(0, int(round(mean + math.sqrt(mean) * self.normal())))


class Channel:
    """Energy calibration, spectrum shape and SCA window of one channel."""

    def __init__(self, j, bins):
        self.j = j
        self.name = "SDD%d" % (j + 1)
        # Slightly different calibrations, as real channels have.
        self.kev_per_bin = FULL_SCALE_KEV / bins * (1.0 + 0.002 * ((j % 5) - 2))
        self.offset_kev = 0.004 * ((j % 3) - 1)
        self.bins = bins
        shape = []
        for b in range(bins):
            e = self.energy(b)
            alpha = math.exp(-0.5 * ((e - PEAK_KEV) / PEAK_SIGMA_KEV) ** 2)
            beta = 0.14 * math.exp(-0.5 * ((e - BETA_KEV) / (PEAK_SIGMA_KEV * 1.05)) ** 2)
            tail = 0.004 * math.exp(-e / 3.0) if e > 0.3 else 0.0
            shape.append(alpha + beta + tail)
        total = sum(shape)
        self.shape = [s / total for s in shape]
        self.lo = self.bin_of(PEAK_KEV - WINDOW_HALF_KEV)
        self.hi = self.bin_of(PEAK_KEV + WINDOW_HALF_KEV)
        self.window_fraction = sum(self.shape[self.lo:self.hi + 1])

    def energy(self, b):
        return self.offset_kev + self.kev_per_bin * b

    def bin_of(self, kev):
        return min(self.bins - 1, max(0, int(round((kev - self.offset_kev) / self.kev_per_bin))))

    def rates(self, i0):
        """Expected ICR and output rate at incident intensity i0."""
        r = gain_of(self.j) * i0
        icr = r * (1.0 - tau0_of(self.j) * r)
        ocr = icr * (1.0 - tau_of(self.j) * icr)
        return icr, ocr


def intensities(count, shift=0.0):
    """count intensities spaced evenly in log between I0_LOW and I0_HIGH;
    shift (0 .. 1) moves them by that part of a step, staying in range."""
    if count == 1:
        return [I0_LOW]
    step = math.log(I0_HIGH / I0_LOW) / (count - 1 + shift)
    return [I0_LOW * math.exp(step * (k + shift)) for k in range(count)]


def measured_i0(noise, i0):
    # The ion chamber reading carries a small relative error of its own.
    return i0 * (1.0 + 2e-4 * noise.normal())


def write_spectrum(path, channels, i0, noise, index):
    lines = [
        "# Ratelens example spectrum (simulated detector with known dead times)",
        "# Sample : Mn K-alpha reference",
        "# Point : %d" % index,
        "# Real time [s] : %.3f" % REAL_TIME,
    ]
    counts = []
    for ch in channels:
        icr, ocr = ch.rates(i0)
        measured_icr = noise.poisson(icr * REAL_TIME) / REAL_TIME
        lines.append("# MCA Ch Info : %s %.3f %.1f %.3f %.4f %.1f %d %d" % (
            ch.name, ch.kev_per_bin * 1000.0, ch.offset_kev * 1000.0, REAL_TIME,
            ocr / icr, measured_icr, ch.lo, ch.hi))
        expected = ocr * REAL_TIME
        counts.append([noise.poisson(expected * s) for s in ch.shape])
    lines.append("# I0 : %.1f" % measured_i0(noise, i0))
    lines.append("# Columns : bin " + " ".join("E_%s C_%s" % (c.name, c.name) for c in channels))
    bins = channels[0].bins
    for b in range(bins):
        fields = [str(b)]
        for ch, c in zip(channels, counts):
            fields.append("%.4f" % ch.energy(b))
            fields.append(str(c[b]))
        lines.append(" ".join(fields))
    with open(path, "w", newline="\n", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


def write_point_table(path, channels, count, noise):
    n = len(channels)
    lines = [
        "# Ratelens example point table (simulated detector with known dead times)",
        "# Channels : %d" % n,
        "# I0, ICR of SDD1..SDD%d, SCA of SDD1..SDD%d (counts in %.0f s)" % (n, n, REAL_TIME),
    ]
    for i0 in intensities(count, shift=0.5):
        icrs = []
        scas = []
        for ch in channels:
            icr, ocr = ch.rates(i0)
            icrs.append("%.1f" % (noise.poisson(icr * REAL_TIME) / REAL_TIME))
            scas.append("%d" % noise.poisson(ocr * ch.window_fraction * REAL_TIME))
        lines.append(" ".join(["%.1f" % measured_i0(noise, i0)] + icrs + scas))
    with open(path, "w", newline="\n", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


# The high-rate detector, channel j counted from 0.
HIGHRATE_CHANNELS = 8
HIGHRATE_I0_LOW = 2.5e4
HIGHRATE_I0_HIGH = 5.5e5


def highrate_tau0(j):
    return (0.8 + 0.05 * (j % 4)) * 1e-6


def highrate_tau(j):
    return (1.0 + 0.1 * (j % 3)) * 1e-6


def highrate_gain(j):
    return 1.0 + 0.05 * (j % 5)


def highrate_window(j):
    return 0.3 + 0.02 * (j % 4)


def highrate_rates(j, i0):
    """Expected ICR and SCA rate of the paralyzable detector at intensity i0."""
    r = highrate_gain(j) * i0
    icr = r * math.exp(-highrate_tau0(j) * r)
    ocr = icr * math.exp(-highrate_tau(j) * icr)
    return icr, ocr * highrate_window(j)


def write_highrate_table(path, count, noise):
    """A point table of the high-rate detector: count points spaced evenly in
    I0, so that half of them lie where the losses exceed 20 %."""
    n = HIGHRATE_CHANNELS
    lines = [
        "# Ratelens high-rate example (simulated paralyzable detector, about 40 % dead time)",
        "# Channels : %d" % n,
        "# I0, ICR of SDD1..SDD%d, SCA of SDD1..SDD%d (counts in %.0f s)" % (n, n, REAL_TIME),
    ]
    for k in range(count):
        i0 = HIGHRATE_I0_LOW + (HIGHRATE_I0_HIGH - HIGHRATE_I0_LOW) * k / max(1, count - 1)
        icrs = []
        scas = []
        for j in range(n):
            icr, sca = highrate_rates(j, i0)
            icrs.append("%.1f" % (noise.poisson(icr * REAL_TIME) / REAL_TIME))
            scas.append("%d" % noise.poisson(sca * REAL_TIME))
        lines.append(" ".join(["%.1f" % measured_i0(noise, i0)] + icrs + scas))
    with open(path, "w", newline="\n", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


def positive(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return value


def not_negative(text):
    value = int(text)
    if value < 0:
        raise argparse.ArgumentTypeError("must not be negative")
    return value


def write_hdf5_scan(tool, path):
    """The HDF5 example: 4 elements, 12 points, written by the C++ tool with
    the HDF5 library, as pulse processors record them: output counts, the
    dead-time factor ICR/OCR and an 80 MHz clock per element, both as
    points x elements datasets and per element, chunked and compressed. Its
    laws are the paralyzable ones (tests/tools/h5scan.h); the file carries no
    noise and no time stamps, so it is the same bytes on every run."""
    subprocess.run([tool, path, "--elements", "4", "--points", "12", "--layout", "both",
                    "--type", "u32", "--chunk", "4", "--deflate", "4"],
                   check=True, stdout=subprocess.DEVNULL)
    # Its recipe, with a dataset for every name the expressions use.
    with open(os.path.join(os.path.dirname(path), "xspress3.recipe"), "w", newline="\n",
              encoding="ascii") as f:
        f.write("elements = 1-4\n"
                "i0  = I0 / (TSCALER / 50e6)\n"
                "icr = OutputCounts_mca{n} * DTFactor_mca{n} / (Clock_mca{n} / 80e6)\n"
                "sca = OutputCounts_mca{n} / (Clock_mca{n} / 80e6)\n"
                "\n"
                "[datasets]\n"
                "I0 = /entry/scaler/I0\n"
                "TSCALER = /entry/scaler/TSCALER\n"
                "OutputCounts_mca{n} = /entry/xspress3/OutputCounts[{i}]\n"
                "DTFactor_mca{n} = /entry/xspress3/DTFactor[{i}]\n"
                "Clock_mca{n} = /entry/xspress3/Clock[{i}]\n")


def main(argv):
    default_out = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "examples")
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default=os.path.normpath(default_out),
                        help="folder to write to, created if needed (default: examples/)")
    parser.add_argument("--channels", type=positive, default=4,
                        help="detector channels (default 4)")
    parser.add_argument("--bins", type=positive, default=1024,
                        help="bins per spectrum (default 1024; at least 64)")
    parser.add_argument("--files", type=not_negative, default=6,
                        help="spectrum files, one measurement point each (default 6)")
    parser.add_argument("--table-lines", type=not_negative, default=10,
                        help="points of the point table; 0 writes no table (default 10)")
    parser.add_argument("--highrate-points", type=not_negative, default=24,
                        help="points of the high-rate set in highrate/; 0 writes none (default 24)")
    parser.add_argument("--seed", type=int, default=1, help="noise seed (default 1)")
    parser.add_argument("--h5scan", metavar="TOOL",
                        help="ratelens_h5scan built from tests/tools: also write the HDF5 "
                             "scan xspress3_scan.h5 with it (see examples/README.md)")
    args = parser.parse_args(argv)
    if args.bins < 64:
        parser.error("--bins must be at least 64 for the peak and its window to fit")

    os.makedirs(args.out, exist_ok=True)
    noise = Noise(args.seed)
    channels = [Channel(j, args.bins) for j in range(args.channels)]
    written = []
    for k, i0 in enumerate(intensities(args.files) if args.files else []):
        path = os.path.join(args.out, "spectrum_%02d.dat" % (k + 1))
        write_spectrum(path, channels, i0, noise, k + 1)
        written.append(path)
    if args.table_lines:
        path = os.path.join(args.out, "point_table.dat")
        write_point_table(path, channels, args.table_lines, noise)
        written.append(path)
    if args.highrate_points:
        folder = os.path.join(args.out, "highrate")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "point_table.dat")
        write_highrate_table(path, args.highrate_points, Noise(args.seed + 100))
        written.append(path)
    if args.h5scan:
        path = os.path.join(args.out, "xspress3_scan.h5")
        write_hdf5_scan(args.h5scan, path)
        written.append(path)
    for path in written:
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
