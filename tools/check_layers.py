#!/usr/bin/env python3
"""Checks the hard edges between the libraries by reading #include lines:
platform/ and squirrel/ include only their own headers, and src/ never
includes the game's."""
import os, re, sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
include = re.compile(r'^\s*#\s*include\s*"([^"]+)"')

def headers_under(folder):
    names = set()
    for dirpath, _, files in os.walk(os.path.join(root, folder)):
        names.update(f for f in files if f.endswith(('.h', '.hpp')))
    return names

def sources_under(folder):
    for dirpath, _, files in os.walk(os.path.join(root, folder)):
        for f in files:
            if f.endswith(('.h', '.hpp', '.cpp', '.c')):
                yield os.path.join(dirpath, f)

def check(folder, allowed, forbidden=set()):
    errors = []
    for path in sources_under(folder):
        with open(path, encoding='latin-1') as fh:
            for n, line in enumerate(fh, 1):
                m = include.match(line)
                if not m:
                    continue
                name = os.path.basename(m.group(1))
                if name in forbidden or (allowed is not None and name not in allowed):
                    errors.append(f"{os.path.relpath(path, root)}:{n}: includes {m.group(1)}")
    return errors

game = headers_under('_source') - headers_under('src')
errors = []
errors += check('platform', headers_under('platform'))
errors += check('squirrel', headers_under('squirrel'))
errors += check('src', None, game)
for e in errors:
    print(e)
sys.exit(1 if errors else 0)
