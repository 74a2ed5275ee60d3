#!/usr/bin/env python3
"""Fails when a translation catalogue lacks a text of the sources or keeps one
they no longer have: lupdate reads the sources into a fresh catalogue, whose
texts each committed one must hold exactly. It fails as well when lupdate
cannot place a text (a tr() outside any class leaves it out of every
catalogue). Untranslated texts are listed but pass; they are translated after
they land."""
import argparse, os, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

def texts(path):
    found, untranslated = set(), set()
    for context in ET.parse(path).getroot().iter('context'):
        for message in context.iter('message'):
            kind = message.find('translation').get('type')
            key = (context.findtext('name'), message.findtext('source'), message.findtext('comment') or '')
            if kind not in ('vanished', 'obsolete'):
                found.add(key)
            if kind == 'unfinished':
                untranslated.add(key)
    return found, untranslated

def show(keys):
    return ''.join(f'  [{context}] "{source}"' + (f' ({comment})' if comment else '') + '\n'
                   for context, source, comment in sorted(keys))

parser = argparse.ArgumentParser()
parser.add_argument('lupdate')
parser.add_argument('--dirs', nargs='+', required=True)
parser.add_argument('--catalogues', nargs='+', required=True)
args = parser.parse_args()
with tempfile.TemporaryDirectory() as scratch:
    fresh = os.path.join(scratch, 'sources.ts')
    scan = subprocess.run([args.lupdate, '-silent', '-locations', 'none', *args.dirs, '-ts', fresh],
                          check=True, capture_output=True, text=True)
    expected, _ = texts(fresh)
failed = bool(scan.stderr.strip())
if failed:
    print(scan.stderr + 'tr() needs a class with Q_OBJECT or Q_DECLARE_TR_FUNCTIONS(Context) around it.')
for catalogue in args.catalogues:
    held, untranslated = texts(catalogue)
    name = os.path.basename(catalogue)
    missing, stale = expected - held, held - expected
    if missing:
        print(f'{name} lacks {len(missing)} text(s) of the sources:\n{show(missing)}', end='')
    if stale:
        print(f'{name} holds {len(stale)} text(s) the sources no longer have:\n{show(stale)}', end='')
    if untranslated:
        print(f'{name}: {len(untranslated)} text(s) not translated yet:\n{show(untranslated)}', end='')
    failed = failed or bool(missing or stale)
if failed:
    print('Bring the catalogues up to date: cmake --build <build> --target melodrift_lupdate')
sys.exit(1 if failed else 0)
