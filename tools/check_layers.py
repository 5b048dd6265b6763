#!/usr/bin/env python3
"""Checks the hard edges between the libraries by reading #include lines:
platform/ and squirrel/ include only their own headers, and src/ never
includes the game's. Also that docs/architecture.md names every library
platform/CMakeLists.txt links and every stand-in file it lists, each in a row
of its own table.

    tools/check_layers.py [DOCUMENT]    DOCUMENT in place of docs/architecture.md"""
import os, re, sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
document = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'docs', 'architecture.md')
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
def platform_uses():
    """The libraries the platform layer links and its stand-in files, by the names the document uses."""
    with open(os.path.join(root, 'platform', 'CMakeLists.txt')) as fh:
        cmake = re.sub(r'#[^\n]*', '', fh.read())
    libraries, stand_ins = [], []
    for modules in re.findall(r'pkg_check_modules\(\s*\w+\s+REQUIRED\s+IMPORTED_TARGET\s+([^)]*)\)', cmake):
        libraries += modules.split()
    for linked in re.findall(r'engine_link\(\s*platform\s+([^)]*)\)', cmake):
        libraries += [t.split('::')[0] for t in linked.split() if '::' in t and not t.startswith('PkgConfig::')]
    for files in re.findall(r'set\(\s*PLATFORM_STAND_INS\s+([^)]*)\)', cmake):
        stand_ins += files.split()
    return libraries, stand_ins

def table_column(section, header):
    """The cells under the header in the section's tables that have such a column."""
    cells, column = [], None
    for line in section.splitlines():
        if not line.startswith('|'):
            column = None
            continue
        row = [cell.strip() for cell in line.strip().strip('|').split('|')]
        if column is None:
            column = row.index(header) if header in row else -1
        elif column >= 0 and column < len(row) and not set(row[column]) <= set('-: '):
            cells.append(row[column])
    return cells

def check_architecture_document():
    """Each library is a whole word of the library column (SDL2 is not found in
    SDL2_mixer, nor a name in the prose), each stand-in a name of the file column."""
    with open(document) as fh:
        text = fh.read()
    start = text.find('## What the platform layer uses')
    section = text[start:text.find('\n## ', start + 1)] if start >= 0 else ''
    words = {w for cell in table_column(section, 'library') for w in re.findall(r'\w+', cell.lower())}
    files = {f for cell in table_column(section, 'file') for f in re.findall(r'[\w.]+', cell)}
    libraries, stand_ins = platform_uses()
    inside = os.path.abspath(document).startswith(root + os.sep)
    shown = os.path.relpath(document, root) if inside else document
    return ([f"{shown}: the platform layer's library table has no row for {name}"
             for name in libraries if name.lower() not in words] +
            [f"{shown}: the platform layer's stand-in table has no row for {name}"
             for name in stand_ins if name not in files])

errors += check_architecture_document()
for e in errors:
    print(e)
sys.exit(1 if errors else 0)
