#!/usr/bin/env python3
"""Dynamic mix of the arithmetic one host step performs, for the floor in docs/performance.md.

    valgrind --tool=callgrind --dump-instr=yes --callgrind-out-file=cg.out \
        build/default/bench/svg_bench --benchmark_filter='BM_TravikHostStep$' \
        --benchmark_min_time=0.001
    scripts/op_mix.py cg.out build/default/bench/svg_bench STEPS

Counts, per host step (STEPS: the steps the run made), the executed scalar single- and
double-precision arithmetic instructions of the program itself (its own code, from its
disassembly) and the calls into the C library's sine, cosine, sincos, square root and fmod.
"""
import collections
import re
import subprocess
import sys


def parse_callgrind(path, program):
    """Executed count per instruction address of `program`, and call counts per libm symbol."""
    counts = collections.Counter()
    calls = collections.Counter()
    names = {}
    obj = fn = None
    address = 0
    skip_next = False
    pending_call = None
    with open(path) as f:
        for line in f:
            line = line.rstrip('\n')
            m = re.match(r'^(c?ob|c?fn)=\((\d+)\)(?: (.*))?$', line)
            if m:
                kind, ident, name = m.groups()
                key = (kind.lstrip('c'), ident)
                if name:
                    names[key] = name
                if kind == 'ob':
                    obj = names.get(key)
                elif kind == 'fn':
                    fn = names.get(key)
                elif kind == 'cfn':
                    pending_call = names.get(key)
                continue
            if line.startswith('calls='):
                count = int(line.split('=')[1].split()[0])
                if pending_call:
                    calls[pending_call] += count
                skip_next = True
                continue
            m = re.match(r'^(0x[0-9a-f]+|[+-]\d+|\*)\s', line)
            if not m:
                continue
            pos = m.group(1)
            if pos.startswith('0x'):
                address = int(pos, 16)
            elif pos != '*':
                address += int(pos)
            if skip_next:
                skip_next = False
                continue
            if obj and obj.endswith(program):
                counts[address] += int(line.split()[-1])
    return counts, calls


def mnemonics(program):
    out = subprocess.run(['objdump', '-d', '--no-show-raw-insn', program], capture_output=True,
                         text=True, check=True).stdout
    table = {}
    for line in out.splitlines():
        m = re.match(r'^\s*([0-9a-f]+):\s+(\S+)', line)
        if m:
            table[int(m.group(1), 16)] = m.group(2)
    return table


def main():
    cg, program, steps = sys.argv[1], sys.argv[2], float(sys.argv[3])
    counts, calls = parse_callgrind(cg, program.split('/')[-1])
    names = mnemonics(program)
    mix = collections.Counter()
    for address, n in counts.items():
        op = names.get(address, '')
        m = re.match(r'^v?(add|sub|mul|div|sqrt|min|max)(ss|sd)$', op)
        if m:
            mix[f'{m.group(1)} {"float" if m.group(2) == "ss" else "double"}'] += n
        elif re.match(r'^v?cvt', op):
            mix['conversions'] += n
        elif re.match(r'^v?u?comis[sd]$', op):
            mix['compares'] += n
    for name, n in sorted(mix.items()):
        print(f'{name:14s} {n / steps:10.1f} per step')
    for name, n in sorted(calls.items()):
        if re.search(r'(^|_)(sin|cos|sincos|sqrt|fmod|tan|exp|log|pow)(f|_fma|_finite)?', name or ''):
            print(f'call {name:40s} {n / steps:8.2f} per step')


if __name__ == '__main__':
    main()
