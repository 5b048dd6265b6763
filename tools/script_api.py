#!/usr/bin/env python3
"""Writes docs/script-api.md, the reference of every function the game's
scripts can call, from the registration code read as text and the one-line
notes in tools/script_api_notes.txt.

    tools/script_api.py            write the reference
    tools/script_api.py --check    write nothing; fail when a registered
                                   function has no line in the reference or
                                   no note, or when the reference or the notes
                                   name a function that nobody registers

The engine's natives come from the register*Natives functions (grouped as
they register, titled by their comments in src/module_scripting_funcs.h)
and from the game's own registerGameScriptBindings; the script language's
library from the tables of the libraries that SquirrelVM::Init registers."""
import os
import re
import sys

from reference_doc import read, root, sources, write_or_check
NOTES = os.path.join(root, 'tools', 'script_api_notes.txt')
OUTPUT = os.path.join(root, 'docs', 'script-api.md')

# The libraries SquirrelVM::Init may register, and where their tables are.
# Each entry: the table, and the type or class its functions belong to
# (None: global functions).
LIBRARIES = {
    'base': ('squirrel/squirrel/sqbaselib.cpp', [
        ('kBaseFuncs', None), ('kNumberDelegate', 'integer and float'), ('kStringDelegate', 'string'),
        ('kTableDelegate', 'table'), ('kArrayDelegate', 'array'), ('kClosureDelegate', 'function'),
        ('kGeneratorDelegate', 'generator'), ('kThreadDelegate', 'thread'), ('kClassDelegate', 'class'),
        ('kInstanceDelegate', 'instance'), ('kWeakrefDelegate', 'weakref')]),
    'io': ('squirrel/sqstdlib/sqstdio.cpp', [('IoFunctions', None), ('FileMethods', 'file')]),
    'stream': ('squirrel/sqstdlib/sqstdstream.cpp', [('StreamMethods', 'file and blob streams')]),
    'blob': ('squirrel/sqstdlib/sqstdblob.cpp', [('BlobGlobals', None), ('BlobMethods', 'blob')]),
    'math': ('squirrel/sqstdlib/sqstdmath.cpp', [('MathFunctions', None)]),
    'string': ('squirrel/sqstdlib/sqstdstring.cpp', [('StringFunctions', None), ('RegexpMethods', 'regexp')]),
}
# Streams come with the io and blob libraries.
LIBRARY_NEEDS = {'io': ['stream'], 'blob': ['stream']}

REGISTER_CALL = re.compile(r'\b(REGISTER_CORE_NATIVE|RegisterCoreNative|RegisterCoreAlias)\s*\(')
NATIVE = re.compile(r'(?:REGISTER_CORE_NATIVE|RegisterCoreNative)\s*\(\s*[^,]+?,\s*"(\w+)"\s*,\s*(nullptr|"[^"]*")\s*\)')
ALIAS = re.compile(r'RegisterCoreAlias\s*\(\s*"(\w+)"\s*,\s*"(\w+)"\s*\)')
FUNCTION = re.compile(r'^void (\w+)\(\)\s*\n\{\n(.*?)^\}', re.M | re.S)
TABLE_ENTRY = re.compile(r'\{\s*"(\w+)"\s*,\s*[^,{}]+?,\s*-?\d+\s*,\s*(?:nullptr|"[^"]*")\s*\}')




def line_of(text, offset):
    return text.count('\n', 0, offset) + 1


class Registration:
    def __init__(self):
        self.groups = []       # (title, [(name, mask, alias_of, where)])
        self.errors = []


def mask_words(mask):
    """What the language checks before the native runs, or '' for "*"."""
    if mask is None or mask == '':
        return 'no arguments'
    return {'s': 'exactly one text', 'ss': 'exactly two texts', 'n': 'exactly one number'}.get(mask, '')


def engine_natives():
    reg = Registration()
    header = read('src/module_scripting_funcs.h')
    titles = dict(re.findall(r'^void (register\w+Natives)\(\);\s*//\s*(.+?)\s*$', header, re.M))
    funcs = read('src/module_scripting_funcs.cpp')
    body = re.search(r'^void registerEngineNatives\(\)\n\{\n(.*?)^\}', funcs, re.M | re.S)
    order = re.findall(r'^\s*(register\w+Natives)\(\);', body.group(1), re.M) if body else []
    if not order:
        reg.errors.append('src/module_scripting_funcs.cpp: no register*Natives calls in registerEngineNatives')
    # The client's bindings register before the engine's natives.
    order = ['registerGameScriptBindings'] + order
    titles['registerGameScriptBindings'] = "the game's own functions"
    found = {}
    counted = 0
    for path in sources():
        if path.endswith('module_scripting_funcs.cpp'):
            continue   # the registration functions themselves
        text = read(path)
        counted += len(REGISTER_CALL.findall(text))
        for match in FUNCTION.finditer(text):
            name, code = match.group(1), match.group(2)
            if name not in order:
                continue
            entries = []
            start = match.start(2)
            for call in sorted(list(NATIVE.finditer(code)) + list(ALIAS.finditer(code)), key=lambda m: m.start()):
                where = '%s:%d' % (path, line_of(text, start + call.start()))
                if call.re is NATIVE:
                    mask = None if call.group(2) == 'nullptr' else call.group(2)[1:-1]
                    entries.append((call.group(1), mask, None, where))
                else:
                    entries.append((call.group(1), None, call.group(2), where))
            found[name] = entries
    read_calls = sum(len(entries) for entries in found.values())
    if read_calls != counted:
        reg.errors.append('%d registration calls in the sources, %d read: write each as '
                          'REGISTER_CORE_NATIVE(fn, "name", mask) or RegisterCoreAlias("name", "existing") '
                          'inside a register function' % (counted, read_calls))
    # An alias takes the mask of the native it names.
    masks = {entry[0]: entry[1] for entries in found.values() for entry in entries if not entry[2]}
    for name in order:
        if name not in found:
            if name != 'registerGameScriptBindings':
                reg.errors.append('%s is called but not found in src/ or _source/' % name)
            continue
        entries = [(n, masks.get(a, '*') if a else m, a, w) for n, m, a, w in found[name]]
        reg.groups.append((titles.get(name, name), entries))
    return reg


def library_functions():
    """(title, [(name, type)]) of the script language's library as registered."""
    binding = read('src/module_scripting_binding.cpp')
    init = re.search(r'void SquirrelVM::Init\(.*?\n\}', binding, re.S)
    libraries = ['base'] + re.findall(r'sqstd_register_(\w+)lib\s*\(', init.group(0) if init else '')
    for library in list(libraries):
        libraries += [needed for needed in LIBRARY_NEEDS.get(library, []) if needed not in libraries]
    functions, errors = [], []
    for library in libraries:
        if library not in LIBRARIES:
            errors.append('SquirrelVM::Init registers the %s library, which this tool does not know' % library)
            continue
        path, tables = LIBRARIES[library]
        text = read(path)
        for table, owner in tables:
            match = re.search(r'SQRegFunction %s\[\] = \{(.*?)\n\};' % table, text, re.S)
            if not match:
                errors.append('%s: table %s not found' % (path, table))
                continue
            for name in TABLE_ENTRY.findall(match.group(1)):
                if name == 'constructor':
                    functions.append((owner, None))   # the class, called to make one
                elif not name.startswith('_'):
                    functions.append((name, owner))
    return functions, errors


def read_notes():
    """{key: (form, sentence)}. A function's key is its name; the functions of
    a type or class are one note whose key is "type:" + the type + ":"."""
    notes, errors = {}, []
    with open(NOTES, encoding='utf-8') as fh:
        for number, line in enumerate(fh, 1):
            line = line.rstrip('\n')
            if not line.strip() or line.startswith('#'):
                continue
            if ' | ' not in line:
                errors.append('tools/script_api_notes.txt:%d: no " | " between the form and the sentence' % number)
                continue
            form, text = (part.strip() for part in line.split(' | ', 1))
            if form.startswith('type:'):
                key = 'type:' + form[5:].split(':', 1)[0] + ':'
            else:
                key = re.match(r'\w*', form).group(0)
            if not key or key in notes:
                errors.append('tools/script_api_notes.txt:%d: %s' % (number, 'a second note for ' + key if key else
                                                                       'no function name'))
                continue
            notes[key] = (form, text)
    return notes, errors


def render(form, text, suffix=''):
    """"name(arguments) -> result" and the sentence as one line of the reference."""
    signature, _, result = form.partition(' -> ')
    return '- `%s` \u2192 %s. %s%s' % (signature.strip(), result.strip() or 'nothing', text, suffix)


def write_reference(reg, library, notes, errors):
    used = set()
    out = [
        '# Script API',
        '',
        '<!-- Made by tools/script_api.py from the registration code and tools/script_api_notes.txt;',
        '     edit those and run the tool. A test fails when this file and the code disagree. -->',
        '',
        'Every function the game\'s scripts can call. The engine\'s own are grouped as they',
        'register; the script language\'s library follows. How to use them in a game is in',
        '[making-a-game.md](making-a-game.md).',
        '',
        '- Optional arguments are in brackets. A **node** argument is a node\'s name (text), its ID',
        '  (integer) or its node table (what `core_GetNode` returns and what an action receives).',
        '- The `core_` functions never raise a script error themselves: a missing or wrongly typed',
        '  argument reads as 0, an empty text or null; a function that acts on a node returns false',
        '  when the node does not exist, and one that looks something up returns an empty text, 0',
        '  or null when nothing is found. Where a line says "checked", the language refuses any',
        '  other arguments with a script error report before the function runs.',
        '- A **code** argument is script text, run when due; the same rules as for actions apply',
        '  (code is text that ends in ";" or holds "(" and ")"; anything else names a function',
        '  that is called with the argument table).',
        '',
    ]

    def line_for(name, where=''):
        note = notes.get(name)
        if not note:
            errors.append('%s%s is registered but tools/script_api_notes.txt has no line for it'
                          % (where + ': ' if where else '', name))
            return None
        used.add(name)
        return note

    for title, entries in reg.groups:
        if not entries:
            continue
        out += ['## ' + title[0].upper() + title[1:], '']
        for name, mask, alias, where in entries:
            note = line_for(name, where=where)
            if not note:
                continue
            form, text = note
            checked = mask_words(mask)
            out.append(render(form, text, ' Checked: %s.' % checked if checked else ''))
        out.append('')

    out += ['## The script language\'s library', '',
            'Squirrel 2.2\'s base, io, blob, math and string libraries, as this engine registers them',
            '(the system library, with `clock`, `time`, `date`, `getenv` and `system`, is not there:',
            'use `core_GetTick` and `core_GetDate`). Files are opened relative to the program folder.',
            '']
    by_owner = {}
    for name, owner in library:
        by_owner.setdefault(owner, []).append(name)
    for name in by_owner.get(None, []):
        note = line_for(name)
        if note:
            out.append(render(*note))
    out += ['', 'Functions that belong to values (called as `value.name(...)`):', '']
    for owner, names in by_owner.items():
        if owner is None:
            continue
        key = 'type:' + owner + ':'
        note = notes.get(key)
        if not note:
            errors.append('the %s functions (%s) have no "type:%s:" line in tools/script_api_notes.txt'
                          % (owner, ', '.join(names), owner))
            continue
        used.add(key)
        form, text = note
        methods = re.findall(r'\w+\([^)]*\)', form.split(':', 2)[2])
        listed = {method.split('(')[0] for method in methods}
        for name in names:
            if name not in listed:
                errors.append('%s.%s is registered but not in the "type:%s:" line' % (owner, name, owner))
        for name in sorted(listed - set(names)):
            errors.append('the "type:%s:" line names %s, which is not registered' % (owner, name))
        out.append('- **%s**: %s. %s' % (owner, ', '.join('`%s`' % method for method in methods), text))
    out.append('')
    for key in sorted(set(notes) - used):
        errors.append('tools/script_api_notes.txt names %s, which is not registered' % key.rstrip(':'))
    return '\n'.join(out)


def names_in(text):
    return set(re.findall(r'^- `(\w+)\(', text, re.M))


def main():
    check = '--check' in sys.argv[1:]
    reg = engine_natives()
    library, library_errors = library_functions()
    notes, note_errors = read_notes()
    errors = reg.errors + library_errors + note_errors
    text = write_reference(reg, library, notes, errors)
    registered = {entry[0] for _, entries in reg.groups for entry in entries} | {n for n, o in library if o is None}
    return write_or_check(OUTPUT, text, errors, check, registered, names_in, 'which is registered',
                          'which is not registered', 'tools/script_api.py')


if __name__ == '__main__':
    sys.exit(main())
