#!/usr/bin/python3
"""Draws one svgsim run as a PNG figure: PCC voltage and its RMS, reactive current reference
against feedback with the reactive power, cell DC voltages, modulation references and flags,
all against time, with the scenario's events marked.

    plot.py RUN.csv [--summary summary.json] [--out RUN.png] [--title TEXT]

Reads the run's CSV (a `time` column, then one column per signal by name); signals a run did
not record are left out of their panel. Exit status 0 on success, 1 on a file that cannot be
read or written, 2 on bad arguments.
"""
import argparse
import csv
import json
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

# (panel title, y label, [(column, legend label)]); the second axis of the first panel holds
# the RMS voltage in per unit.
PANELS = [
    ("PCC voltage", "phase voltage (kV)",
     [("pcc_ua", "a"), ("pcc_ub", "b"), ("pcc_uc", "c")]),
    ("Reactive current and power", "per unit of rated (pu)",
     [("HLVRTCtrl.set_Iqpos_ref_sel", "Iq reference"),
      ("CurTrans.set_Iqpos_fbk", "Iq feedback (controller)"),
      ("conv_iq_pu", "Iq (plant)"),
      ("conv_q_pu", "Q (plant)")]),
    ("Cell DC voltage", "cell voltage (V)",
     [("udc_a", "phase a"), ("udc_b", "phase b"), ("udc_c", "phase c"),
      ("UdcVolCtrl.set_Udc_mean", "mean (controller)"),
      ("UdcVolCtrl.set_Udccmd_final", "command")]),
    ("Modulation references", "modulation index (-)",
     [("ModCal.set_mod_a_sum", "a"), ("ModCal.set_mod_b_sum", "b"),
      ("ModCal.set_mod_c_sum", "c")]),
    ("Flags", "flag (0 low, 1 high)",
     [("SimInput.deblock_cmd", "deblock"), ("SimInput.running_cmd", "running"),
      ("HLVRTCtrl.flg_LVRT_mod", "LVRT"), ("HLVRTCtrl.flg_HVRT_mod", "HVRT"),
      ("SimOutput.prot_flag", "protection")]),
]
RMS_COLUMN = "pcc_urms_pu"


def read_columns(path, wanted):
    with open(path, newline="") as f:
        header = next(csv.reader(f))
    index = {name: k for k, name in enumerate(header)}
    if "time" not in index:
        raise ValueError(f"{path}: no 'time' column")
    names = ["time"] + [n for n in wanted if n in index]
    data = np.loadtxt(path, delimiter=",", skiprows=1, ndmin=2,
                      usecols=[index[n] for n in names])
    return {name: data[:, k] for k, name in enumerate(names)}


def draw(columns, events, title, out):
    t = columns["time"]
    fig, axes = plt.subplots(len(PANELS), 1, sharex=True, figsize=(11, 13))
    for axis, (panel, ylabel, series) in zip(axes, PANELS):
        flags = panel == "Flags"
        for k, (name, label) in enumerate(series):
            if name in columns:
                # Flags each get their own band, 0 at the band's foot and 1 near its top.
                values = 0.8 * (columns[name] != 0) + 1.2 * k if flags else columns[name]
                axis.plot(t, values, label=label, linewidth=0.9)
        if flags:
            axis.set_yticks([1.2 * k + 0.4 for k in range(len(series))],
                            [label for _, label in series])
        if panel == "PCC voltage" and RMS_COLUMN in columns:
            rms_axis = axis.twinx()
            rms_axis.plot(t, columns[RMS_COLUMN], color="black", linewidth=1.2,
                          label="RMS line voltage")
            rms_axis.set_ylabel("RMS line voltage (pu)")
            rms_axis.legend(loc="upper right", fontsize="small")
        for event in events:
            axis.axvline(event["time_s"], color="grey", linestyle="--", linewidth=0.7)
        axis.set_title(panel, fontsize="medium", loc="left")
        axis.set_ylabel(ylabel)
        axis.grid(True, linewidth=0.3)
        if axis.lines and not flags:
            axis.legend(loc="upper left", fontsize="small", ncol=3)
    axes[-1].set_xlabel("time (s)")
    if events:
        title += "\n" + "; ".join(f"{e['time_s']:g} s: {e['event']}" for e in events)
    fig.suptitle(title, fontsize="medium")
    fig.tight_layout()
    fig.savefig(out, dpi=90)
    plt.close(fig)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("csv", help="the run's CSV file")
    parser.add_argument("--summary", help="the run's summary.json (events to mark)")
    parser.add_argument("--out", help="PNG to write (default: the CSV's name with .png)")
    parser.add_argument("--title", help="figure title (default: the CSV's name)")
    args = parser.parse_args(argv)
    out = args.out or os.path.splitext(args.csv)[0] + ".png"
    title = args.title or os.path.splitext(os.path.basename(args.csv))[0]
    wanted = [name for _, _, series in PANELS for name, _ in series] + [RMS_COLUMN]
    try:
        columns = read_columns(args.csv, wanted)
        events = []
        if args.summary:
            with open(args.summary) as f:
                events = json.load(f).get("events", [])
        draw(columns, events, title, out)
    except (OSError, ValueError, KeyError, json.JSONDecodeError) as error:
        print(f"plot: {error}", file=sys.stderr)
        return 1
    print(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
