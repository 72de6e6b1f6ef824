#!/usr/bin/env python3
"""Draws the validation report's plots: every <name>.csv in the folder given
becomes <name>.png. The first line of a file is
"# title;x label;y label;x scale;y scale", then "label,x,y" rows; each label
is one line of the plot; labels ending in " order" are dashed guide lines."""
import csv
import glob
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def draw(path):
    with open(path, newline="") as f:
        title, xlabel, ylabel, xscale, yscale = f.readline()[2:].rstrip("\n").split(";")
        series = {}
        for row in csv.DictReader(f):
            xs, ys = series.setdefault(row["label"], ([], []))
            xs.append(float(row["x"]))
            ys.append(float(row["y"]))
    fig, ax = plt.subplots(figsize=(6.4, 4.4), dpi=100)
    markers = "osD^v<>p"
    k = 0
    for label, (xs, ys) in series.items():
        if label.endswith(" order"):
            # A guide line of the named slope.
            ax.plot(xs, ys, linestyle="--", color="grey", linewidth=1, label=label)
            continue
        ax.plot(xs, ys, marker=markers[k % len(markers)], label=label)
        k += 1
    ax.set_xscale(xscale)
    ax.set_yscale(yscale)
    ax.set_title(title)
    ax.set_xlabel(xlabel)
    ax.set_ylabel(ylabel)
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize="small")
    fig.tight_layout()
    fig.savefig(os.path.splitext(path)[0] + ".png")
    plt.close(fig)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: plots.py FOLDER")
    for path in sorted(glob.glob(os.path.join(sys.argv[1], "*.csv"))):
        draw(path)


if __name__ == "__main__":
    main()
