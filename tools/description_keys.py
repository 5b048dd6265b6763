#!/usr/bin/env python3
"""Writes docs/description-keys.md, the reference of every key a sprite
description or a dialog file can hold, from the parser code read as text and
the notes in tools/description_keys_notes.txt.

    tools/description_keys.py            write the reference
    tools/description_keys.py --check    write nothing; fail when the parser
                                         reads a key, a lettered component or a
                                         bracket option that the reference or
                                         the notes lack, or when either names
                                         one the parser does not read

The keys are the "-Name:" literals of the parser functions below, grouped as
they read them; a component is a read of one letter of the key's value
(x in "x4 y2"), an option a read of "name[...]" inside it. Every other key
literal in src/ and _source/ must belong to a format listed in OTHER_FORMATS."""
import os
import re
import sys

from reference_doc import NoteUse, function_body, read, read_grouped_notes, root, sources, without_comments, write_or_check
NOTES = os.path.join(root, 'tools', 'description_keys_notes.txt')
OUTPUT = os.path.join(root, 'docs', 'description-keys.md')

# (group, source file, function or None for the whole file), in reading order.
GROUPS = [
    ('main', 'src/node_factory.cpp', 'CNodeFactory::readMainKeys'),
    ('geometry', 'src/node_factory.cpp', 'CNodeFactory::readGeometryKeys'),
    ('alpha', 'src/node_factory.cpp', 'CNodeFactory::readAlphaKeys'),
    ('switches', 'src/node_factory.cpp', 'CNodeFactory::readSwitchKeys'),
    ('animation', 'src/node_factory.cpp', 'CNodeFactory::readAnimationKeys'),
    ('compact', 'src/node_factory.cpp', 'CNodeFactory::readCompactEventKeys'),
    ('events', 'src/node_factory.cpp', 'CNodeFactory::readLongEventKeys'),
    ('last', 'src/node_factory.cpp', 'CNodeFactory::parseSpriteDescription'),
    ('parts', 'src/node_helpers_parts.cpp', None),
    ('game', '_source/spritebindings.cpp', None),
    ('dialog', 'src/module_dialogfactory.cpp', None),
]
# Keys whose value is read again, for its bracket options, where it is used.
OPTION_READERS = {
    '-Animation.Slider:': ('src/node_helpers_valuebar.cpp', 'makeSlider'),
    '-Animation.Flash:': ('src/node_spriteflash.cpp', 'makeFlashAnimator'),
}
# Calls that read a key of their own.
KEY_CALLS = {'parseCustomAttributes': '-Custom.Attributes:'}
# Files whose key literals belong to other formats (material descriptions,
# texture lists, particle groups).
OTHER_FORMATS = {'src/rendering_material_custom.cpp', 'src/rendering_stuff_atlas.cpp',
                 'src/rendering_stuff_particles.cpp'}

KEY = r'-[A-Z][A-Za-z0-9]+(?:\.[A-Za-z0-9]+)*:?'
KEY_LITERAL = re.compile(r'"(%s)"' % KEY)
CONSTANT = re.compile(r'const char\*\s*const\s+(\w+)\s*=\s*"(%s)"\s*;' % KEY)
COMPONENT = re.compile(r'\b\w+\(\s*value\s*,\s*\'(.)\'')
# A pair of components read by one call: readPair(desc, "-Align:", 'x', 'y', align).
PAIR = re.compile(r'\breadPair\(\s*\w+\s*,\s*"(%s)"\s*,\s*\'(.)\'\s*,\s*\'(.)\'' % KEY)
OPTION = re.compile(r'\b(?:bracket|bracketInt|bracketFloat|readBracketValue)\(\s*[\w.]+\s*,\s*"(\w+)"')



class Parser:
    """What the parser code reads: groups of keys with their components and options."""

    def __init__(self):
        self.groups = []     # (group, [key]) in reading order
        self.parts = {}      # (group, key) -> [component or option "name["]
        self.errors = []

    def read_code(self, group, path, code, constants):
        keys, current = [], None
        tokens = [(m.start(), 'key', m.group(1)) for m in KEY_LITERAL.finditer(code)]
        for name, value in constants.items():
            tokens += [(m.start(), 'key', value) for m in re.finditer(r'\b%s\b' % name, code)]
        for call, key in KEY_CALLS.items():
            tokens += [(m.start(), 'key', key) for m in re.finditer(r'\b%s\(' % call, code)]
        tokens += [(m.start(), 'part', m.group(1)) for m in COMPONENT.finditer(code)]
        for m in PAIR.finditer(code):
            tokens += [(m.start(2), 'part', m.group(2)), (m.start(3), 'part', m.group(3))]
        tokens += [(m.start(), 'part', m.group(1) + '[') for m in OPTION.finditer(code)]
        for _, kind, value in sorted(tokens):
            if kind == 'key':
                current = value
                if value not in keys:
                    keys.append(value)
                    self.parts[(group, value)] = []
            elif current is None:
                self.errors.append('%s: a value part "%s" read before any key' % (path, value))
            elif value not in self.parts[(group, current)]:
                self.parts[(group, current)].append(value)
        return keys

    def read(self):
        seen_files = set()
        for group, path, function in GROUPS:
            text = without_comments(read(path))
            constants = dict(CONSTANT.findall(text))
            code = text if function is None else function_body(text, function)
            if code is None:
                self.errors.append('%s: function %s not found' % (path, function))
                continue
            if function is None:
                code = CONSTANT.sub('', code)
            self.groups.append((group, self.read_code(group, path, code, constants)))
            seen_files.add(path)
        for key, (path, function) in OPTION_READERS.items():
            code = function_body(without_comments(read(path)), function)
            if code is None:
                self.errors.append('%s: function %s not found' % (path, function))
                continue
            for group, keys in self.groups:
                if key in keys:
                    self.parts[(group, key)] += [o + '[' for o in OPTION.findall(code)
                                                 if o + '[' not in self.parts[(group, key)]]
        # A key read anywhere else is a key this reference does not know of.
        known = {key for _, keys in self.groups for key in keys}
        for path in sources():
            if path in OTHER_FORMATS:
                continue
            text = without_comments(read(path))
            for match in KEY_LITERAL.finditer(text):
                if match.group(1) not in known:
                    self.errors.append('%s:%d: the key %s is read outside the parser functions this tool knows'
                                       % (path, text.count('\n', 0, match.start()) + 1, match.group(1)))



def read_notes():
    """Titles {group: (title, intro)} and notes {(group, key, part): (form, text, [extra lines])}."""
    preamble, groups, notes, errors = read_grouped_notes('tools/description_keys_notes.txt', 'key')
    titles = {}
    for group, (line, extra) in groups.items():
        title, _, intro = line.partition('|')
        titles[group] = (title.strip(), intro.strip())
        if extra:
            errors.append('tools/description_keys_notes.txt: a "+" line of [%s] belongs after a key line' % group)
    if preamble:
        errors.append('tools/description_keys_notes.txt: a "+" line before the first group')
    for group, key, part in list(notes):
        if not re.fullmatch(KEY, key) or (part and ' ' in part):
            errors.append('tools/description_keys_notes.txt: "%s %s" is not a key' % (key, part or ''))
            del notes[(group, key, part)]
    for note in notes.values():
        note[2][:] = [line.strip() for line in note[2]]
    return titles, notes, errors


def part_label(part):
    return '`%s...]`' % part if part.endswith('[') else '`%s`' % part


def write_reference(parser, titles, notes, errors):
    out = [
        '# Description keys',
        '',
        '<!-- Made by tools/description_keys.py from the parser code and tools/description_keys_notes.txt;',
        '     edit those and run the tool. A test fails when this file and the code disagree. -->',
        '',
        'Every key a sprite description (`.spr`, a `raw://` text, a `[Sprite]` part) or a',
        'dialog file (`.dlg`) can hold, grouped as the parser reads them. How to use them is',
        'in [making-a-game.md](making-a-game.md); the functions scripts call are in',
        '[script-api.md](script-api.md).',
        '',
        '- A key is found anywhere in the text, case-sensitively, and only its **first**',
        '  occurrence counts (`-Custom.Attributes:` excepted: every one is read). A key with an',
        '  empty value counts as absent. Keys the parser does not know are ignored.',
        '- A value is the rest of the line after the colon. A key that ends its line takes the',
        '  lines after it, up to the next line that starts with `-` or `[` (the first of them',
        '  always belongs); `-Key:[T[` ... `]T]` takes everything between the markers.',
        '- **Forms**: *text* is trimmed of blanks; *raw* is taken exactly as written, so a blank',
        '  after the colon becomes part of it; *number* reads the whole value (an unreadable',
        '  number is 0). A *letter* component is the number right after the first place that',
        '  letter occurs anywhere in the value (`-Animation.Move: x4 y2`: x is 4), or its default when',
        '  the letter does not occur; `@` takes the rest of the value after the first `@`.',
        '  An *option* `name[...]` is the text between `name[` and the next `]`, untrimmed.',
        '- A text or component value written `${Sq:code}` is script code whose result is the value.',
        '- Times are milliseconds, lengths scene units, angles degrees, unless a line says otherwise.',
        '  Animators count time on the real clock unless `-Animation.BaseTimer: 1` puts the',
        '  sprite\'s animators on game time, which stands still while the game is paused.',
        '',
    ]
    use = NoteUse('tools/description_keys_notes.txt', titles, notes, errors, 'the parser')
    for group, keys in parser.groups:
        title, intro = use.title(group, '')
        out += ['## ' + title, '']
        if intro:
            out += [intro, '']
        for key in keys:
            note = use.take(group, key, None, 'reads %s (%s)' % (key, group))
            if not note:
                continue
            form, text, extra = note
            out.append('- `%s` *%s*. %s' % (key, form, text))
            out += ['  ' + line for line in extra]
            for part in parser.parts[(group, key)]:
                part_note = use.take(group, key, part, 'reads %s of %s (%s)' % (part, key, group))
                if not part_note:
                    continue
                form, text, extra = part_note
                out.append('  - %s *%s*. %s' % (part_label(part), form, text))
                out += ['    ' + line for line in extra]
        out.append('')
    use.unread('does not read')
    return '\n'.join(out)


def keys_in(text):
    return set(re.findall(r'^- `(%s)`' % KEY, text, re.M))


def main():
    check = '--check' in sys.argv[1:]
    parser = Parser()
    parser.read()
    titles, notes, errors = read_notes()
    errors = parser.errors + errors
    text = write_reference(parser, titles, notes, errors)
    read_keys = {key for _, keys in parser.groups for key in keys}
    return write_or_check(OUTPUT, text, errors, check, read_keys, keys_in, 'which the parser reads',
                          'which the parser does not read', 'tools/description_keys.py')


if __name__ == '__main__':
    sys.exit(main())
