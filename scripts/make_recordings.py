#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes beamline-style recordings of a 4-element detector with known dead times.

The detector is the one of make_examples.py: element n (from 1) is channel
j = n - 1 with pre-amplifier dead time tau0_j = (2.0 + 0.5 j) * 1e-7 s,
amplifier dead time tau_j = (1.0 + 0.25 j) * 1e-6 s and gain
g_j = 1.0 + 0.1 * (3j mod 5). At incident rate I0 the element sees
r = g I0, its input rate is ICR = r (1 - tau0 r) and its output rate
OCR = ICR (1 - tau ICR): the quadratic laws, so a reader that turns the
recordings into rates right gives back these dead times up to the rounding
of the written numbers. No noise is added: the files test reading, not
fitting.

Written, each a scan of 10 incident intensities from 1e4 to 1.6e5 per second:
  scan_icr_ocr.xdi    XDI 1.0: energy, I0, count_time and per element ICR_mca{n}
                      and OCR_mca{n}, all counts over count_time (the built-in
                      recipe reads it)
  scan_xspress.spec   SPEC-style "#L" labels: I0 counts over TSCALER ticks of
                      50 MHz, OutputCounts_mca{n}, DTFactor_mca{n} and
                      Clock_mca{n} ticks of 80 MHz (needs xspress.recipe)
  xspress.recipe      the recipe for it
  scan_dashed.txt     a header without "#", a line of dashes, the labels I0,
                      seconds, icr1..4, ocr1..4 (read with --columns)
  scan_comma.csv      comma-separated, names on the last comment line: I0,
                      IntTime, ICR01..04, OCR01..04 (read with --columns)
  mca_01.mca ... mca_06.mca
                      one multi-element MCA file for each of 6 intensities:
                      ENVIRONMENT entry I0 (a rate), REAL_TIME, LIVE_TIME and
                      1024 bins per element whose counts (rounded to whole
                      counts) all lie in bins 420-580
  mca.recipe          the recipe for them: window = 400-600, i0 = I0

With --layouts, instead, the layouts that beamlines write and that must be
read as they come or refused by name (none of them is a point table):
  labels_icr_ocr.dat  one label line "# I0 ICR1 ... OCR4", rates, blanks
  suffix_counts.dat   per-element names with running column suffixes
                      (D1_ICR_c9 ... D4_OCR_c16), counts over CountTime, and
                      ROI columns D{n}_MnKa_c{..}
  multi_scan.spec     a SPEC file of three scans; scan 2 is the intensity scan
                      (I0, Seconds, ICR{n}, OCR{n} counts)
  headed_scan.txt.gz  a gzip-compressed headed column file: comment lines,
                      a date line, then the labels I0, IntTime, ICR1..4,
                      OCR1..4 (counts)
  unnamed_wide.dat    rows of 9 numbers under names no recipe maps
  image.png           a small PNG image
  binary.dat          a binary data-collector dump (doubles and integers)
  plain_table.dat     a genuine one-channel point table without a header
  single_01.txt ... single_06.txt
                      element 1 alone as a spectrum of channel and count
                      under "# RealTime:", "# LiveTime:" and "# I0:" (a rate),
                      one file per intensity, as the MCA files
"""

import argparse
import gzip
import math
import os
import struct
import zlib

ELEMENTS = 4
POINTS = 10
I0_LOW = 1.0e4
I0_HIGH = 1.6e5
COUNT_TIME = 2.0
TSCALER_HZ = 50e6
CLOCK_HZ = 80e6
MCA_BINS = 1024
MCA_POINTS = 6
MCA_REAL_TIME = 10.0
PEAK_BIN = 500
PEAK_SIGMA = 15.0


def tau0_of(j):
    return (2.0 + 0.5 * (j % 4)) * 1e-7


def tau_of(j):
    return (1.0 + 0.25 * (j % 4)) * 1e-6


def gain_of(j):
    return 1.0 + 0.1 * ((3 * j) % 5)


def intensities():
    return [I0_LOW + (I0_HIGH - I0_LOW) * k / (POINTS - 1) for k in range(POINTS)]


def rates(i0, j):
    r = gain_of(j) * i0
    icr = r * (1.0 - tau0_of(j) * r)
    ocr = icr * (1.0 - tau_of(j) * icr)
    return icr, ocr


def num(x):
    return "%.12g" % x


def write(path, lines):
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def xdi(out):
    names = ["energy", "I0", "count_time"]
    names += ["ICR_mca%d" % n for n in range(1, ELEMENTS + 1)]
    names += ["OCR_mca%d" % n for n in range(1, ELEMENTS + 1)]
    lines = ["# XDI/1.0 Ratelens/make_recordings"]
    for k, name in enumerate(names):
        unit = " eV" if name == "energy" else (" s" if name == "count_time" else "")
        lines.append("# Column.%d: %s%s" % (k + 1, name, unit))
    lines += ["# Element.symbol: Mn", "# Mono.d_spacing: 3.13555",
              "# ///", "# intensity scan by attenuators, counts over count_time",
              "#----", "# " + "  ".join(names)]
    for i0 in intensities():
        row = [7000.0, i0 * COUNT_TIME, COUNT_TIME]
        r = [rates(i0, j) for j in range(ELEMENTS)]
        row += [icr * COUNT_TIME for icr, _ in r] + [ocr * COUNT_TIME for _, ocr in r]
        lines.append("  ".join(num(v) for v in row))
    write(os.path.join(out, "scan_icr_ocr.xdi"), lines)


def spec(out):
    names = ["Energy", "I0", "TSCALER"]
    for n in range(1, ELEMENTS + 1):
        names += ["OutputCounts_mca%d" % n, "DTFactor_mca%d" % n, "Clock_mca%d" % n]
    lines = ["#F scan_xspress.spec", "#E 1700000000", "#D Thu Jan 01 00:00:00 2026", "",
             "#S 1  timescan attenuators", "#N %d" % len(names), "#L " + "  ".join(names)]
    for i0 in intensities():
        row = [7000.0, i0 * COUNT_TIME, COUNT_TIME * TSCALER_HZ]
        for j in range(ELEMENTS):
            icr, ocr = rates(i0, j)
            # The electronics count a little longer than the scaler.
            t = COUNT_TIME * (1.0 + 0.001 * j)
            row += [ocr * t, icr / ocr, t * CLOCK_HZ]
        lines.append(" ".join(num(v) for v in row))
    write(os.path.join(out, "scan_xspress.spec"), lines)
    write(os.path.join(out, "xspress.recipe"), [
        "# OutputCounts and DTFactor of a 4-element detector, SPEC labels",
        "elements = 1-4",
        "i0  = I0 / (TSCALER / 50e6)",
        "icr = OutputCounts_mca{n} * DTFactor_mca{n} / (Clock_mca{n} / 80e6)",
        "sca = OutputCounts_mca{n} / (Clock_mca{n} / 80e6)"])


def dashed(out):
    names = ["I0", "seconds"] + ["icr%d" % n for n in range(1, ELEMENTS + 1)]
    names += ["ocr%d" % n for n in range(1, ELEMENTS + 1)]
    lines = ["Intensity scan, 4-element detector", "Sample: Mn foil",
             "-" * 60, "\t".join(names)]
    for i0 in intensities():
        row = [i0 * COUNT_TIME, COUNT_TIME]
        r = [rates(i0, j) for j in range(ELEMENTS)]
        row += [icr * COUNT_TIME for icr, _ in r] + [ocr * COUNT_TIME for _, ocr in r]
        lines.append("\t".join(num(v) for v in row) + " ")
    write(os.path.join(out, "scan_dashed.txt"), lines)


def comma(out):
    names = ["I0", "IntTime"] + ["ICR%02d" % n for n in range(1, ELEMENTS + 1)]
    names += ["OCR%02d" % n for n in range(1, ELEMENTS + 1)]
    lines = ["# comma-separated rates", "# " + ",".join(names)]
    for i0 in intensities():
        row = [i0 * COUNT_TIME, COUNT_TIME]
        r = [rates(i0, j) for j in range(ELEMENTS)]
        row += [icr * COUNT_TIME for icr, _ in r] + [ocr * COUNT_TIME for _, ocr in r]
        lines.append(",".join(num(v) for v in row))
    with open(os.path.join(out, "scan_comma.csv"), "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def peak_shape():
    shape = [0.0] * MCA_BINS
    for b in range(PEAK_BIN - 80, PEAK_BIN + 81):
        shape[b] = math.exp(-0.5 * ((b - PEAK_BIN) / PEAK_SIGMA) ** 2)
    total = sum(shape)
    return [s / total for s in shape]


def mca(out):
    shape = peak_shape()
    steps = [I0_LOW + (I0_HIGH - I0_LOW) * k / (MCA_POINTS - 1) for k in range(MCA_POINTS)]
    for k, i0 in enumerate(steps):
        counts = []
        lives = []
        for j in range(ELEMENTS):
            icr, ocr = rates(i0, j)
            total = ocr * MCA_REAL_TIME
            counts.append([round(s * total) for s in shape])
            # The live time makes counts/live the input rate: live = real * OCR / ICR.
            lives.append(MCA_REAL_TIME * ocr / icr)
        lines = ["VERSION:    3.1", "ELEMENTS:   %d" % ELEMENTS,
                 "DATE:       Jan 01, 2026 00:00:%02d.00" % k,
                 "CHANNELS:   %d" % MCA_BINS,
                 "REAL_TIME:  " + " ".join(num(MCA_REAL_TIME) for _ in range(ELEMENTS)),
                 "LIVE_TIME:  " + " ".join(num(t) for t in lives),
                 "CAL_OFFSET: " + " ".join("0.0" for _ in range(ELEMENTS)),
                 "CAL_SLOPE:  " + " ".join("0.01" for _ in range(ELEMENTS)),
                 'ENVIRONMENT: I0="%s" (incident rate, 1/s)' % num(i0),
                 'ENVIRONMENT: Energy="7000.0" (eV)',
                 "DATA: "]
        for b in range(MCA_BINS):
            lines.append(" ".join("%d" % counts[j][b] for j in range(ELEMENTS)))
        write(os.path.join(out, "mca_%02d.mca" % (k + 1)), lines)
    write(os.path.join(out, "mca.recipe"), [
        "# One MCA file per intensity; the counts of the peak over real and live time",
        "window = 400-600",
        "i0 = I0"])


def counts_row(i0, t):
    r = [rates(i0, j) for j in range(ELEMENTS)]
    return [icr * t for icr, _ in r] + [ocr * t for _, ocr in r]


def labels_icr_ocr(out):
    names = ["I0"] + ["ICR%d" % n for n in range(1, ELEMENTS + 1)]
    names += ["OCR%d" % n for n in range(1, ELEMENTS + 1)]
    lines = ["# " + " ".join(names)]
    for i0 in intensities():
        lines.append(" ".join(num(v) for v in [i0] + counts_row(i0, 1.0)))
    write(os.path.join(out, "labels_icr_ocr.dat"), lines)


def suffix_counts(out):
    # The suffix is the column's position, as some collectors number them.
    names = ["Energy", "I0", "CountTime"]
    for kind in ["MnKa", "ICR", "OCR"]:
        for n in range(1, ELEMENTS + 1):
            names.append("D%d_%s_c%d" % (n, kind, len(names) + 1))
    lines = ["# intensity scan, counts over CountTime", "# " + "\t".join(names)]
    for i0 in intensities():
        c = counts_row(i0, COUNT_TIME)
        roi = [0.2 * v for v in c[ELEMENTS:]]
        lines.append("\t".join(num(v) for v in [7000.0, i0 * COUNT_TIME, COUNT_TIME] + roi + c))
    write(os.path.join(out, "suffix_counts.dat"), lines)


def multi_scan(out):
    lines = ["#F multi_scan.spec", "#E 1700000000", "#D Thu Jan 01 00:00:00 2026", ""]
    lines += ["#S 1  ascan  energy 6900 7100 4 1", "#N 3", "#L Energy  I0  Seconds"]
    lines += ["%s %s 1" % (num(6900 + 50 * k), num(1e4 + k)) for k in range(5)]
    names = ["I0", "Seconds"] + ["ICR%d" % n for n in range(1, ELEMENTS + 1)]
    names += ["OCR%d" % n for n in range(1, ELEMENTS + 1)]
    lines += ["", "#S 2  timescan  attenuators", "#N %d" % len(names), "#L " + "  ".join(names)]
    for i0 in intensities():
        lines.append(" ".join(num(v) for v in [i0 * COUNT_TIME, COUNT_TIME] + counts_row(i0, COUNT_TIME)))
    lines += ["#C scan 2 done", "", "#S 3  ascan  energy 7100 6900 4 1", "#N 3",
              "#L Energy  I0  Seconds"]
    lines += ["%s %s 1" % (num(7100 - 50 * k), num(1e4 + k)) for k in range(5)]
    write(os.path.join(out, "multi_scan.spec"), lines)


def headed_gzip(out):
    names = ["I0", "IntTime"] + ["ICR%d" % n for n in range(1, ELEMENTS + 1)]
    names += ["OCR%d" % n for n in range(1, ELEMENTS + 1)]
    text = ["# Data collected by a beamline program, version 1.4",
            "# Sample: Mn foil   Detector: 4-element SDD",
            "# 2026 01 01 00 00 00 00 01 02 03",
            "# " + " ".join(names)]
    for i0 in intensities():
        text.append(" ".join(num(v) for v in [i0 * COUNT_TIME, COUNT_TIME] + counts_row(i0, COUNT_TIME)))
    data = ("\n".join(text) + "\n").encode()
    # A fixed time stamp and no name, so that the bytes are the same on every run.
    with open(os.path.join(out, "headed_scan.txt.gz"), "wb") as f:
        with gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=0) as z:
            z.write(data)


def unnamed_wide(out):
    lines = ["# A B C D E F G H K"]
    for i0 in intensities():
        lines.append(" ".join(num(v) for v in [i0] + counts_row(i0, 1.0)))
    write(os.path.join(out, "unnamed_wide.dat"), lines)


def png(out):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\x00" + bytes([(x * 16 + y) % 256 for x in range(8)]) for y in range(8))
    image = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 8, 8, 8, 0, 0, 0, 0))
             + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
    with open(os.path.join(out, "image.png"), "wb") as f:
        f.write(image)


def binary(out):
    data = b"".join(struct.pack("<dIId", i0, k, 4, i0 * 0.9) for k, i0 in enumerate(intensities()))
    with open(os.path.join(out, "binary.dat"), "wb") as f:
        f.write(b"DC01" + data * 20)


def plain_table(out):
    lines = ["# one channel: I0 ICR SCA"]
    for i0 in intensities():
        icr, ocr = rates(i0, 0)
        lines.append("%s %s %s" % (num(i0), num(icr), num(ocr)))
    write(os.path.join(out, "plain_table.dat"), lines)


def single_spectra(out):
    shape = peak_shape()
    steps = [I0_LOW + (I0_HIGH - I0_LOW) * k / (MCA_POINTS - 1) for k in range(MCA_POINTS)]
    for k, i0 in enumerate(steps):
        icr, ocr = rates(i0, 0)
        counts = [round(s * ocr * MCA_REAL_TIME) for s in shape]
        lines = ["# Spectrum of element 1", "# RealTime: " + num(MCA_REAL_TIME),
                 "# LiveTime: " + num(MCA_REAL_TIME * ocr / icr), "# I0: " + num(i0),
                 "# Channel Counts"]
        lines += ["%d %d" % (b, c) for b, c in enumerate(counts)]
        write(os.path.join(out, "single_%02d.txt" % (k + 1)), lines)


def layouts(out):
    labels_icr_ocr(out)
    suffix_counts(out)
    multi_scan(out)
    headed_gzip(out)
    unnamed_wide(out)
    png(out)
    binary(out)
    plain_table(out)
    single_spectra(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "examples", "recordings"))
    parser.add_argument("--layouts", action="store_true",
                        help="write the layouts to be read as they come or refused instead")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if args.layouts:
        layouts(args.out)
        return
    xdi(args.out)
    spec(args.out)
    dashed(args.out)
    comma(args.out)
    mca(args.out)


if __name__ == "__main__":
    main()
