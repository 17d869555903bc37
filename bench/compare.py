#!/usr/bin/python3
"""Times the usual Python tools on the inputs of the C++ benchmarks and prints
the combined table.

  compare.py run DATA_DIR OUT.json [--quick]
      numpy.loadtxt and pandas.read_csv on the files written by
      ratelens_benchgen, and one frame of the two plots drawn by pyqtgraph and
      by matplotlib (Agg) at P = 10, 100, 1000, 10000 points of 19 channels
      with their fitted curves, 1500 x 350 pixels. Each figure is the median
      of several rounds after one untimed round. OUT.json has the layout of
      Google Benchmark's JSON, so that both can be read alike.

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
    fn()  # untimed: imports, caches, first allocation
    times = []
    for _ in range(rounds):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return statistics.median(times), rounds


def entry(name, seconds, rounds, size=None):
    e = {"name": name, "run_type": "iteration", "real_time": seconds * 1e3, "time_unit": "ms",
         "iterations": rounds}
    if size is not None:
        e["bytes_per_second"] = size / seconds
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
            seconds, n = median_time(fn, rounds)
            out.append(entry(f"{family}/{label}", seconds, n, size))
            print(f"  {family}/{label}: {seconds * 1e3:.1f} ms", file=sys.stderr)
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
            seconds, n = median_time(frame, rounds)
            out.append(entry(f"PY_PyqtgraphPaint{plot}/{points}", seconds, n))
            print(f"  PY_PyqtgraphPaint{plot}/{points}: {seconds * 1e3:.2f} ms", file=sys.stderr)
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
            seconds, n = median_time(canvas.draw, rounds)
            out.append(entry(f"PY_MatplotlibPaint{plot}/{points}", seconds, n))
            print(f"  PY_MatplotlibPaint{plot}/{points}: {seconds * 1e3:.2f} ms", file=sys.stderr)
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


def load_results(paths):
    """name -> (milliseconds, bytes per second or None). Medians of
    repetitions are preferred to single runs of the same name."""
    results, from_median = {}, set()
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        for b in data.get("benchmarks", []):
            if b.get("error_occurred"):
                results[b.get("run_name", b["name"])] = (None, b.get("error_message"))
                continue
            if b.get("run_type") == "aggregate":
                if b.get("aggregate_name") != "median":
                    continue
                name = b["run_name"]
                from_median.add(name)
            else:
                name = b.get("run_name", b["name"])
                if name in from_median:
                    continue
            ms = b["real_time"] * TO_MS[b.get("time_unit", "ns")]
            results[name] = (ms, b.get("bytes_per_second"))
    return results


def fmt_ms(ms):
    if ms is None:
        return "-"
    return f"{ms:.3g}" if ms < 100 else f"{ms:.0f}"


def fmt_rate(bps):
    return "-" if not bps else f"{bps / 1e6:.0f}"


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
            line = lambda r: "  ".join(c.ljust(w) for c, w in zip(r, widths))
            print(line(self.header))
            print("  ".join("-" * w for w in widths))
            for r in self.rows:
                print(line(r))
        print()


def table(args):
    res = load_results(args.files)
    md = args.markdown

    def ms(name):
        return res.get(name, (None, None))[0]

    def rate(name):
        v = res.get(name, (None, None))
        return v[1] if v[0] is not None else None

    def title(text):
        print(f"### {text}\n" if md else f"== {text}")

    title("All figures (median of the repetitions)")
    t = Table(md, ["benchmark", "ms", "MB/s"])
    for name in sorted(res):
        value = res[name]
        if value[0] is None:
            t.add(name, "error: " + str(value[1]), "")
        else:
            t.add(name, fmt_ms(value[0]), fmt_rate(value[1]))
    t.print()

    title("Targets (ratios within this run)")
    t = Table(md, ["target", "measured", "ratio", "met"])

    def verdict(ok):
        return "-" if ok is None else ("yes" if ok else "NO")

    for label in READER_FILES:
        limit = rate(f"BM_ParseLimit/{label}")
        reader = "BM_ReadPointTable" if label == "19x100000" else "BM_ReadSpectrum"
        r = rate(f"{reader}/{label}")
        ratio = r / limit if r and limit else None
        t.add(f"{reader}/{label} >= 0.8 x BM_ParseLimit/{label}",
              f"{fmt_rate(r)} vs {fmt_rate(limit)} MB/s",
              "-" if ratio is None else f"{ratio:.2f}",
              verdict(None if ratio is None else ratio >= 0.8))
    load = ms("BM_LoadBatch/20x19x4096")
    t.add("BM_LoadBatch/20x19x4096 < 150 ms", f"{fmt_ms(load)} ms",
          "-" if load is None else f"{load / 150:.2f}",
          verdict(None if load is None else load < 150))
    for plot in ("I0Nin", "NinNout"):
        for p in POINT_COUNTS:
            ours, theirs = ms(f"BM_Paint{plot}/{p}"), ms(f"PY_PyqtgraphPaint{plot}/{p}")
            ratio = ours / theirs if ours and theirs else None
            t.add(f"BM_Paint{plot}/{p} < pyqtgraph", f"{fmt_ms(ours)} vs {fmt_ms(theirs)} ms",
                  "-" if ratio is None else f"{ratio:.2f}",
                  verdict(None if ratio is None else ratio < 1.0))
    start, bare = ms("BM_StartUp"), ms("BM_StartUpBareWidget")
    ratio = start / bare if start and bare else None
    t.add("BM_StartUp <= 1.3 x BM_StartUpBareWidget", f"{fmt_ms(start)} vs {fmt_ms(bare)} ms",
          "-" if ratio is None else f"{ratio:.2f}",
          verdict(None if ratio is None else ratio <= 1.3))
    t.print()

    title("Readers side by side (MB/s; same files)")
    t = Table(md, ["file", "Ratelens reader", "from bytes", "from_chars limit",
                   "naive Qt", "numpy.loadtxt", "pandas.read_csv"])
    for label in READER_FILES:
        reader = "BM_ReadPointTable" if label == "19x100000" else "BM_ReadSpectrum"
        t.add(label, fmt_rate(rate(f"{reader}/{label}")),
              fmt_rate(rate(f"{reader}Bytes/{label}")),
              fmt_rate(rate(f"BM_ParseLimit/{label}")), fmt_rate(rate(f"BM_ParseNaiveQt/{label}")),
              fmt_rate(rate(f"PY_NumpyLoadtxt/{label}")),
              fmt_rate(rate(f"PY_PandasReadCsv/{label}")))
    t.print()

    title("One plot frame side by side (ms per frame, 1500 x 350, 19 channels)")
    t = Table(md, ["plot", "P", "Ratelens", "plain drawing", "pyqtgraph", "matplotlib"])
    for plot in ("I0Nin", "NinNout"):
        for p in POINT_COUNTS:
            ref = ms(f"BM_Paint{plot}Reference/{p}")
            t.add(plot, p, fmt_ms(ms(f"BM_Paint{plot}/{p}")), fmt_ms(ref),
                  fmt_ms(ms(f"PY_PyqtgraphPaint{plot}/{p}")),
                  fmt_ms(ms(f"PY_MatplotlibPaint{plot}/{p}")))
    t.print()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    r = sub.add_parser("run")
    r.add_argument("data_dir")
    r.add_argument("out")
    r.add_argument("--quick", action="store_true", help="few rounds, for a smoke test")
    t = sub.add_parser("table")
    t.add_argument("--markdown", action="store_true")
    t.add_argument("files", nargs="+")
    args = parser.parse_args()
    if args.command == "run":
        run(args)
    else:
        table(args)


if __name__ == "__main__":
    main()
