#!/usr/bin/env python3
"""Writes the reference manual from the tables of both builds.

    make_reference.py TABLES OUT

TABLES holds <deliverable>_{inputs,outputs,parameters,signals,slots}.csv of Travik_DLL and
Pellum_DLL, as the table writers left them. OUT receives, per deliverable, the same CSV files
(the parameter table with a column saying how the other build differs) and one Markdown file,
plus README.md, the index.
"""
import csv
import os
import sys

FULL, REDUCED = "Travik_DLL", "Pellum_DLL"
TABLES = ("inputs", "outputs", "parameters", "signals", "slots")


def read(folder, deliverable, table):
    with open(os.path.join(folder, f"{deliverable}_{table}.csv"), newline="") as f:
        return list(csv.DictReader(f))


def write_csv(path, rows, fields):
    with open(path, "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=fields, lineterminator="\n")
        w.writeheader()
        w.writerows(rows)


def compare_parameters(mine, other, other_name, other_modules):
    """Adds the column saying how the other build registers each parameter."""
    by_name = {(p["module"], p["name"]): p for p in other}
    for p in mine:
        o = by_name.get((p["module"], p["name"]))
        if o is None:
            p[other_name] = ("module not built" if p["module"] not in other_modules
                             else "not registered")
        elif (o["type"], o["default"]) == (p["type"], p["default"]):
            p[other_name] = "same"
        elif o["type"] == p["type"]:
            p[other_name] = f"default {o['default']}"
        else:
            p[other_name] = f"type {o['type']}, default {o['default']}"


def cell(text):
    return text.replace("|", "\\|") if text else ""


def md_table(heads, rows):
    out = ["| " + " | ".join(heads) + " |", "|" + "---|" * len(heads)]
    out += ["| " + " | ".join(cell(c) for c in r) + " |" for r in rows]
    return "\n".join(out) + "\n"


def input_rows(inputs):
    """Host input rows, with runs of unused channels folded into one row."""
    rows, run = [], []

    def flush():
        if run:
            span = run[0] if len(run) == 1 else f"{run[0]}..{run[-1]}"
            rows.append([span, "", "", "not used", "", "", "", ""])
            run.clear()

    for r in inputs:
        unused = r["meaning"] == "not used" and not r["read_by"] and not r["parameter"]
        if unused:
            run.append(r["channel"])
            continue
        flush()
        rows.append([r["channel"], r["name"], r["unit"], r["meaning"], r["read_by"],
                     r["parameter"], r["written_as"], r["registered_value"]])
    flush()
    return rows


def markdown(d, t, other_name):
    reduced = d == REDUCED
    lines = [f"# {d}: channels, parameters and recorded signals\n",
             "Generated at every build from the controller's own registration rows and wiring"
             " (`tools/reference`); do not edit. The same tables are in the CSV files beside"
             " this one.\n"]
    written = "stands for (read instead)" if reduced else "writes parameter"
    lines.append("## Host input channels\n")
    lines.append(md_table(["Channel", "Name", "Unit", "Meaning", "Read by", written.capitalize(),
                           "As", "Registered value"], input_rows(t["inputs"])))
    lines.append("## Host output channels\n")
    if reduced:
        lines.append("The outputs are the recorded signals themselves: output channel k is wave"
                     " channel k + 1.\n")
    lines.append(md_table(["Channel", "Source", "Type", "Unit", "Meaning"],
                          [[r["channel"], r["source"], r["type"], r["unit"], r["meaning"]]
                           for r in t["outputs"]]))
    lines.append("## Parameters\n")
    lines.append(f"In registry order, by module. The last column says how {other_name}"
                 " registers the same parameter.\n")
    module = None
    block = []
    heads = ["Name", "Type", "Default", "Unit", "Meaning", "Host channel", other_name]
    for p in t["parameters"] + [None]:
        if p is None or p["module"] != module:
            if block:
                lines.append(f"### {module}\n")
                lines.append(md_table(heads, block))
            if p is None:
                break
            module, block = p["module"], []
        block.append([p["name"], p["type"], p["default"], p["unit"], p["meaning"],
                      p["host_channel"], p[other_name]])
    lines.append("## Recordable signals\n")
    lines.append("Wave-channel numbers as in the wave-channel file (RecordWaves_0.tsv).\n")
    lines.append(md_table(["Wave", "Signal", "Type", "Unit", "Meaning", "Output channel",
                           "Read by"],
                          [[s["wave"], s["name"], s["type"], s["unit"], s["meaning"],
                            s["output_channel"], s["read_by"]] for s in t["signals"]]))
    lines.append("## Module inputs\n")
    lines.append("Every input of every module and what feeds it.\n")
    lines.append(md_table(["Input", "Type", "Unit", "Meaning", "Source"],
                          [[f"{s['module']}.{s['input']}", s["type"], s["unit"], s["meaning"],
                            s["source"]] for s in t["slots"]]))
    return "\n\n".join(line.rstrip("\n") for line in lines) + "\n"


INDEX = """# Reference manual

Generated at every build from the registration rows and the wiring of the code
(`tools/reference`), so it always states what the libraries register; CI fails when the
committed copy differs from a fresh one (`cmake --build --preset default --target
update_reference` brings it up to date).

- [Travik_DLL](Travik_DLL.md): the full controller, host channels 0..199.
- [Pellum_DLL](Pellum_DLL.md): the reduced controller, host channels 0..63.

Each deliverable's tables are also CSV files for spreadsheets:
`<deliverable>_inputs.csv` (host input channels), `_outputs.csv` (host output channels),
`_parameters.csv`, `_signals.csv` (recordable signals with their wave-channel numbers) and
`_slots.csv` (every module input and its source).

## Finding one signal

Take `PLL.set_grid_freq`, the grid frequency:

- its producer is the module in front of the dot, `PLL`; its unit, meaning and wave-channel
  number are on its row under "Recordable signals";
- the same row lists its consumers ("Read by": the module inputs wired to it) and the host
  output channel that carries it, if any;
- a module input's row under "Module inputs" names its source: a signal, a host input channel
  or nothing;
- a host input channel's row under "Host input channels" names the module inputs that read it
  and, for channels 44..149 of Travik_DLL, the parameter it overwrites at every step (as a
  byte or as a float) with that parameter's registered value, which a host should give it.

With a shell: `grep -n 'set_grid_freq' docs/reference/*.csv`.
"""


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_reference.py TABLES OUT")
    src, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    t = {d: {k: read(src, d, k) for k in TABLES} for d in (FULL, REDUCED)}
    modules = {d: {r["module"] for r in t[d]["slots"]} | {r["module"] for r in t[d]["parameters"]}
               for d in (FULL, REDUCED)}
    compare_parameters(t[FULL]["parameters"], t[REDUCED]["parameters"], REDUCED, modules[REDUCED])
    compare_parameters(t[REDUCED]["parameters"], t[FULL]["parameters"], FULL, modules[FULL])
    for d, other in ((FULL, REDUCED), (REDUCED, FULL)):
        for k in TABLES:
            rows = t[d][k]
            write_csv(os.path.join(out, f"{d}_{k}.csv"), rows, list(rows[0].keys()))
        with open(os.path.join(out, f"{d}.md"), "w") as f:
            f.write(markdown(d, t[d], other))
    with open(os.path.join(out, "README.md"), "w") as f:
        f.write(INDEX)


if __name__ == "__main__":
    main()
