#!/usr/bin/env python3
"""The benchmark table: the benchmarks' "result" lines as one Markdown table.

Reads the lines (tab-separated: result, benchmark, measure, Melodrift,
baseline, baseline is, ratio, goal) on standard input and prints the table,
each goal judged against its ratio: "met", "missed", or "-" where the row
has no goal. With --into FILE it also puts the table into FILE, in place of
the one between the two marker lines there.

Usage: table.py [--heading TEXT] [--into FILE] < results
"""

import argparse
import re
import sys

BEGIN = '<!-- table: written by bench/run-all.sh -->'
END = '<!-- end of table -->'
NUMBER = re.compile(r'[-+]?\d+(?:\.\d+)?')


def verdict(ratio, goal):
    """"met" or "missed" for a goal "<= N" (N as "1.10" or "+10 MiB")."""
    if not goal.startswith('<='):
        return '-'
    bound = NUMBER.search(goal)
    value = NUMBER.match(ratio.strip())
    if not bound or not value:
        return '?'
    return 'met' if float(value.group()) <= float(bound.group()) else 'missed'


def table(lines, heading):
    out = [heading, '', '| benchmark | measure | Melodrift | baseline | baseline is | ratio | goal | goal met |',
           '|---|---|---|---|---|---|---|---|']
    for line in lines:
        fields = line.rstrip('\n').split('\t')
        if len(fields) != 8 or fields[0] != 'result':
            continue
        cells = fields[1:]
        out.append('| %s | %s |' % (' | '.join(cells), verdict(cells[5], cells[6])))
    return '\n'.join(out) + '\n'


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--heading', default='')
    parser.add_argument('--into')
    args = parser.parse_args()
    text = table(sys.stdin.readlines(), args.heading)
    sys.stdout.write(text)
    if args.into:
        with open(args.into) as f:
            document = f.read()
        if BEGIN not in document or END not in document:
            print('%s has no table markers (%s ... %s)' % (args.into, BEGIN, END), file=sys.stderr)
            return 1
        before, rest = document.split(BEGIN, 1)
        after = rest.split(END, 1)[1]
        with open(args.into, 'w') as f:
            f.write(before + BEGIN + '\n' + text + END + after)
    return 0


if __name__ == '__main__':
    sys.exit(main())
