#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times the usual Python tools on the inputs of the C++ benchmarks and prints
the combined table.

  compare.py run DATA_DIR OUT.json [--quick]
      numpy.loadtxt and pandas.read_csv on the files written by
      ratelens_benchgen, and one frame of the two plots drawn by pyqtgraph and
      by matplotlib (Agg) at P = 10, 100, 1000, 10000 points of 19 channels
      with their fitted curves, 1500 x 350 pixels. Each figure is the median
      of several rounds after one untimed round. OUT.json has the layout of
      Google Benchmark's JSON, so that both can be read alike.

  compare.py phases PROBE [--runs N] [--markdown]
      Starts the start-up probe N times in each mode with its phase trace on
      and prints the median wall and processor time at the end of each step.

  compare.py table [--markdown] RESULT.json...
      Reads Google Benchmark JSON files (medians of repetitions when there are
      any) and OUT.json, and prints every figure, the targets with the ratios
      measured in this run, and the side-by-side comparison.
"""

import argparse
import json
import os
import platform
import statistics
import sys
import time

# Offscreen, and the same Qt 5 as the program, whichever bindings are present.
os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
os.environ.setdefault("PYQTGRAPH_QT_LIB", "PyQt5")

WIDTH, HEIGHT = 1500, 350
CHANNELS = 19
POINT_COUNTS = (10, 100, 1000, 10000)

# The main window's colour table, channel j drawn in COLORS[j % 13].
COLORS = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (255, 0, 255),
          (0, 255, 255), (128, 255, 0), (128, 0, 255), (0, 128, 255), (255, 128, 0),
          (0, 255, 128), (255, 0, 128)]

READER_FILES = {
    "19x4096": "spectrum-19x4096.dat",
    "24x8192": "spectrum-24x8192.dat",
    "19x100000": "table-19x100000.dat",
}


def median_time(fn, rounds):
    """Median wall time and median processor time of the rounds, in seconds."""
    fn()  # untimed: imports, caches, first allocation
    wall, cpu = [], []
    for _ in range(rounds):
        w0, c0 = time.perf_counter(), time.process_time()
        fn()
        cpu.append(time.process_time() - c0)
        wall.append(time.perf_counter() - w0)
    return statistics.median(wall), statistics.median(cpu), rounds


def entry(name, timing, size=None):
    wall, cpu, rounds = timing
    e = {"name": name, "run_type": "iteration", "real_time": wall * 1e3,
         "cpu_time": cpu * 1e3, "time_unit": "ms", "iterations": rounds}
    if size is not None:
        e["bytes_per_second"] = size / cpu
    return e


def time_readers(data_dir, quick):
    import numpy as np
    import pandas as pd

    out = []
    for label, file_name in READER_FILES.items():
        path = os.path.join(data_dir, file_name)
        size = os.path.getsize(path)
        big = size > 10_000_000
        rounds = 1 if quick else (3 if big else 15)
        columns = 1 + 2 * int(label.split("x")[0])

        def numpy_load(path=path, columns=columns):
            a = np.loadtxt(path, comments="#")
            assert a.shape[1] == columns, a.shape

        def pandas_load(path=path, columns=columns):
            df = pd.read_csv(path, sep=r"\s+", comment="#", header=None, engine="c")
            assert df.shape[1] == columns, df.shape

        for family, fn in (("PY_NumpyLoadtxt", numpy_load), ("PY_PandasReadCsv", pandas_load)):
            timing = median_time(fn, rounds)
            out.append(entry(f"{family}/{label}", timing, size))
            print(f"  {family}/{label}: {timing[1] * 1e3:.1f} ms", file=sys.stderr)
    return out


def scan(data_dir, points):
    """The plotted points and both fits, as the program computes them: least
    squares without constant term, y = c0*x + c1*x^2."""
    import numpy as np

    a = np.loadtxt(os.path.join(data_dir, f"scan-19x{points}.dat"), comments="#", ndmin=2)
    i0, icr, sca = a[:, 0], a[:, 1:1 + CHANNELS], a[:, 1 + CHANNELS:1 + 2 * CHANNELS]

    def fit(x, y):
        m = np.column_stack([x, x * x])
        return np.linalg.lstsq(m, y, rcond=None)[0]

    plots = {}
    for plot, xs, ys in (("I0Nin", np.repeat(i0[:, None], CHANNELS, axis=1), icr),
                         ("NinNout", icr, sca)):
        x_lo, x_hi = xs.min(), xs.max()
        y_lo, y_hi = ys.min(), ys.max()
        dx, dy = 0.05 * (x_hi - x_lo), 0.05 * (y_hi - y_lo)
        x_range = (x_lo - dx, x_hi + dx)
        y_range = (y_lo - dy, y_hi + dy)
        curve_x = np.linspace(x_range[0], x_range[1], 101)
        channels = []
        for j in range(CHANNELS):
            c0, c1 = fit(xs[:, j], ys[:, j])
            channels.append((xs[:, j], ys[:, j], curve_x, c0 * curve_x + c1 * curve_x * curve_x))
        plots[plot] = (x_range, y_range, channels)
    return plots


def time_pyqtgraph(data_dir, quick):
    import pyqtgraph as pg
    from pyqtgraph.Qt import QtGui

    app = pg.mkQApp()
    pg.setConfigOptions(antialias=False, background="w", foreground="k")
    out = []
    for points in POINT_COUNTS:
        plots = scan(data_dir, points)
        for plot in ("I0Nin", "NinNout"):
            x_range, y_range, channels = plots[plot]
            widget = pg.PlotWidget()
            widget.resize(WIDTH, HEIGHT)
            item = widget.getPlotItem()
            # No axes, no menu: only what the program's plot shows, so that
            # pyqtgraph is not charged for tick labels the other side lacks.
            item.hideAxis("left")
            item.hideAxis("bottom")
            item.setMenuEnabled(False)
            item.hideButtons()
            for j, (x, y, cx, cy) in enumerate(channels):
                color = COLORS[j % len(COLORS)]
                item.addItem(pg.ScatterPlotItem(x=x, y=y, size=7, symbol="o", pen=None,
                                                brush=pg.mkBrush(*color)))
                item.addItem(pg.PlotDataItem(cx, cy, pen=pg.mkPen(color=color, width=1)))
            item.setXRange(*x_range, padding=0)
            item.setYRange(*y_range, padding=0)
            widget.show()
            app.processEvents()
            image = QtGui.QImage(WIDTH, HEIGHT, QtGui.QImage.Format.Format_ARGB32_Premultiplied)

            def frame(widget=widget, image=image):
                painter = QtGui.QPainter(image)
                widget.render(painter)
                painter.end()

            rounds = 3 if quick else (10 if points >= 10000 else 30)
            timing = median_time(frame, rounds)
            out.append(entry(f"PY_PyqtgraphPaint{plot}/{points}", timing))
            print(f"  PY_PyqtgraphPaint{plot}/{points}: {timing[1] * 1e3:.2f} ms",
                  file=sys.stderr)
            widget.close()
            widget.deleteLater()
            app.processEvents()
    return out


def time_matplotlib(data_dir, quick):
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure

    dpi = 100
    disc = (7 * 72 / dpi) ** 2  # a 7-pixel disc, in points squared
    out = []
    for points in POINT_COUNTS:
        plots = scan(data_dir, points)
        for plot in ("I0Nin", "NinNout"):
            x_range, y_range, channels = plots[plot]
            fig = Figure(figsize=(WIDTH / dpi, HEIGHT / dpi), dpi=dpi)
            canvas = FigureCanvasAgg(fig)
            ax = fig.add_axes([0, 0, 1, 1])
            ax.set_axis_off()
            for j, (x, y, cx, cy) in enumerate(channels):
                color = tuple(c / 255 for c in COLORS[j % len(COLORS)])
                ax.scatter(x, y, s=disc, color=color, marker="o", linewidths=0,
                           antialiased=False)
                ax.plot(cx, cy, color=color, linewidth=1, antialiased=False)
            ax.set_xlim(*x_range)
            ax.set_ylim(*y_range)
            assert canvas.get_width_height() == (WIDTH, HEIGHT)
            rounds = 3 if quick else (5 if points >= 10000 else 15)
            timing = median_time(canvas.draw, rounds)
            out.append(entry(f"PY_MatplotlibPaint{plot}/{points}", timing))
            print(f"  PY_MatplotlibPaint{plot}/{points}: {timing[1] * 1e3:.2f} ms",
                  file=sys.stderr)
    return out


def run(args):
    import matplotlib
    import numpy
    import pandas
    import pyqtgraph
    from pyqtgraph.Qt import QtCore

    versions = {"python": platform.python_version(), "numpy": numpy.__version__,
                "pandas": pandas.__version__, "matplotlib": matplotlib.__version__,
                "pyqtgraph": pyqtgraph.__version__,
                "qt": f"{pyqtgraph.Qt.QT_LIB} on Qt {QtCore.qVersion()}"}
    print("Python tools: " + ", ".join(f"{k} {v}" for k, v in versions.items()), file=sys.stderr)
    benchmarks = []
    benchmarks += time_readers(args.data_dir, args.quick)
    benchmarks += time_pyqtgraph(args.data_dir, args.quick)
    benchmarks += time_matplotlib(args.data_dir, args.quick)
    with open(args.out, "w") as f:
        json.dump({"context": {"date": time.strftime("%Y-%m-%dT%H:%M:%S%z"), **versions},
                   "benchmarks": benchmarks}, f, indent=1)


# --- the table ---------------------------------------------------------------

TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


class Figure:
    def __init__(self, wall=None, cpu=None, rate=None, probe_cpu=None, error=None):
        self.wall, self.cpu, self.rate, self.probe_cpu, self.error = (wall, cpu, rate, probe_cpu,
                                                                      error)


def load_results(paths):
    """name -> Figure (milliseconds; bytes per second of processor time).
    Medians of repetitions are preferred to single runs of the same name."""
    results, from_median = {}, set()
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        for b in data.get("benchmarks", []):
            if b.get("run_type") == "aggregate":
                if b.get("aggregate_name") != "median":
                    continue
                name = b["run_name"]
                from_median.add(name)
            else:
                name = b.get("run_name", b["name"])
                if name in from_median:
                    continue
            if b.get("error_occurred"):
                results[name] = Figure(error=b.get("error_message", "error"))
                continue
            scale = TO_MS[b.get("time_unit", "ns")]
            results[name] = Figure(wall=b["real_time"] * scale, cpu=b["cpu_time"] * scale,
                                   rate=b.get("bytes_per_second"),
                                   probe_cpu=b.get("probe_cpu_ms"))
    return results


def fmt_ms(ms):
    if ms is None:
        return "-"
    return f"{ms:.3g}" if ms < 100 else f"{ms:.0f}"


def fmt_rate(bps):
    return "-" if not bps else f"{bps / 1e6:.0f}"


def fmt_ratio(r):
    return "-" if r is None else f"{r:.2f}"


def ratio(a, b):
    return a / b if a and b else None


class Table:
    def __init__(self, markdown, header):
        self.markdown = markdown
        self.header = header
        self.rows = []

    def add(self, *cells):
        self.rows.append([str(c) for c in cells])

    def print(self):
        if self.markdown:
            print("| " + " | ".join(self.header) + " |")
            print("|" + "|".join("---" for _ in self.header) + "|")
            for r in self.rows:
                print("| " + " | ".join(r) + " |")
        else:
            widths = [max(len(x) for x in col) for col in zip(self.header, *self.rows)]
            for r in [self.header, ["-" * w for w in widths]] + self.rows:
                print("  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip())
        print()


def table(args):
    res = load_results(args.files)
    md = args.markdown
    missing = Figure()

    def get(name):
        return res.get(name, missing)

    def title(text):
        print(f"### {text}\n" if md else f"== {text}")

    title("All figures (medians; MB/s = 10^6 bytes per second of processor time)")
    t = Table(md, ["benchmark", "wall ms", "CPU ms", "MB/s", "probe CPU ms"])
    for name in sorted(res):
        f = res[name]
        if f.error:
            t.add(name, "error: " + f.error, "", "", "")
        else:
            t.add(name, fmt_ms(f.wall), fmt_ms(f.cpu), fmt_rate(f.rate), fmt_ms(f.probe_cpu))
    t.print()

    title("Targets (ratios within this run)")
    t = Table(md, ["target", "measured", "ratio", "met"])

    def verdict(r, ok):
        return "-" if r is None else ("yes" if ok(r) else "NO")

    for label in READER_FILES:
        reader = "BM_ReadPointTable" if label == "19x100000" else "BM_ReadSpectrum"
        ours, limit = get(f"{reader}/{label}").rate, get(f"BM_ParseLimit/{label}").rate
        r = ratio(ours, limit)
        t.add(f"{reader}/{label} >= 0.8 x BM_ParseLimit/{label}",
              f"{fmt_rate(ours)} vs {fmt_rate(limit)} MB/s", fmt_ratio(r),
              verdict(r, lambda x: x >= 0.8))
    load = get("BM_LoadBatch/20x19x4096")
    for kind, value in (("CPU", load.cpu), ("wall", load.wall)):
        r = ratio(value, 150.0)
        t.add(f"BM_LoadBatch/20x19x4096 < 150 ms ({kind})", f"{fmt_ms(value)} ms",
              fmt_ratio(r), verdict(r, lambda x: x < 1.0))
    for plot in ("I0Nin", "NinNout"):
        for p in POINT_COUNTS:
            ours, theirs = get(f"BM_Paint{plot}/{p}").cpu, get(f"PY_PyqtgraphPaint{plot}/{p}").cpu
            r = ratio(ours, theirs)
            t.add(f"BM_Paint{plot}/{p} < pyqtgraph (CPU)",
                  f"{fmt_ms(ours)} vs {fmt_ms(theirs)} ms", fmt_ratio(r),
                  verdict(r, lambda x: x < 1.0))
    start, bare = get("BM_StartUp"), get("BM_StartUpBareWidget")
    for kind, a, b in (("wall", start.wall, bare.wall),
                       ("probe CPU", start.probe_cpu, bare.probe_cpu)):
        r = ratio(a, b)
        t.add(f"BM_StartUp <= 1.3 x BM_StartUpBareWidget ({kind})",
              f"{fmt_ms(a)} vs {fmt_ms(b)} ms", fmt_ratio(r), verdict(r, lambda x: x <= 1.3))
    t.print()

    title("Start-up to the first paint (ms; ratio to the bare widget)")
    t = Table(md, ["window", "wall", "ratio", "probe CPU", "ratio"])
    for name in ("BM_StartUp", "BM_StartUpEnglish", "BM_StartUpIn2000Files", "BM_StartUpNoDialogs",
                 "BM_StartUpBareLabel", "BM_StartUpBareWidget"):
        f = get(name)
        t.add(name, fmt_ms(f.wall), fmt_ratio(ratio(f.wall, bare.wall)), fmt_ms(f.probe_cpu),
              fmt_ratio(ratio(f.probe_cpu, bare.probe_cpu)))
    t.print()

    title("Readers side by side (MB/s of processor time; same files)")
    t = Table(md, ["file", "Ratelens reader", "from bytes", "from_chars limit",
                   "naive Qt", "numpy.loadtxt", "pandas.read_csv"])
    for label in READER_FILES:
        reader = "BM_ReadPointTable" if label == "19x100000" else "BM_ReadSpectrum"
        t.add(label, fmt_rate(get(f"{reader}/{label}").rate),
              fmt_rate(get(f"{reader}Bytes/{label}").rate),
              fmt_rate(get(f"BM_ParseLimit/{label}").rate),
              fmt_rate(get(f"BM_ParseNaiveQt/{label}").rate),
              fmt_rate(get(f"PY_NumpyLoadtxt/{label}").rate),
              fmt_rate(get(f"PY_PandasReadCsv/{label}").rate))
    t.print()

    title("One plot frame side by side (CPU ms per frame, 1500 x 350, 19 channels)")
    t = Table(md, ["plot", "P", "Ratelens", "plain drawing", "pyqtgraph", "matplotlib"])
    for plot in ("I0Nin", "NinNout"):
        for p in POINT_COUNTS:
            t.add(plot, p, fmt_ms(get(f"BM_Paint{plot}/{p}").cpu),
                  fmt_ms(get(f"BM_Paint{plot}Reference/{p}").cpu),
                  fmt_ms(get(f"PY_PyqtgraphPaint{plot}/{p}").cpu),
                  fmt_ms(get(f"PY_MatplotlibPaint{plot}/{p}").cpu))
    t.print()


def phases(args):
    import subprocess
    import tempfile

    # The file dialogs list the working directory: start in an empty one, as
    # bm_startup does.
    empty = tempfile.TemporaryDirectory()
    env = dict(os.environ, RATELENS_PROBE_PHASES="1")
    env.setdefault("XDG_RUNTIME_DIR", "/tmp")
    modes = (("bare", []), ("label", []), ("form", []), ("window", ["-e"]), ("window", []))
    steps = ("QApplication", "catalogue", "window built", "shown", "first paint done")
    t = Table(args.markdown, ["mode", *steps])
    for mode, extra in modes:
        marks = {}
        for _ in range(args.runs):
            run_ = subprocess.run([args.probe, mode, *extra], env=env, capture_output=True,
                                  text=True, check=True, cwd=empty.name)
            for line in run_.stderr.splitlines():
                parts = line.split()
                if len(parts) >= 7 and parts[1] == "ms" and parts[2] == "wall":
                    step = " ".join(parts[6:])
                    marks.setdefault(step, []).append((float(parts[0]), float(parts[3])))
        cells = []
        for step in steps:
            v = marks.get(step)
            if not v:
                cells.append("-")
                continue
            wall = statistics.median(x[0] for x in v)
            cpu = statistics.median(x[1] for x in v)
            cells.append(f"{wall:.1f} / {cpu:.1f}")
        t.add(" ".join([mode, *extra]), *cells)
    print("median wall / processor ms since the start of main, at the end of each step\n")
    t.print()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    r = sub.add_parser("run")
    r.add_argument("data_dir")
    r.add_argument("out")
    r.add_argument("--quick", action="store_true", help="few rounds, for a smoke test")
    ph = sub.add_parser("phases")
    ph.add_argument("probe", type=os.path.abspath)
    ph.add_argument("--runs", type=int, default=15)
    ph.add_argument("--markdown", action="store_true")
    t = sub.add_parser("table")
    t.add_argument("--markdown", action="store_true")
    t.add_argument("files", nargs="+")
    args = parser.parse_args()
    if args.command == "run":
        run(args)
    elif args.command == "phases":
        phases(args)
    else:
        table(args)


if __name__ == "__main__":
    main()
