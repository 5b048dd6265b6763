#!/usr/bin/env python3
"""Writes docs/text-markup.md, the reference of the markup a text can hold
(control lines, their values, inline icons) and of the game's text effects,
from the reader code read as text and the notes in tools/text_markup_notes.txt.

    tools/text_markup.py            write the reference
    tools/text_markup.py --check    write nothing; fail when the reader looks
                                    for a tag, a value or an effect that the
                                    reference or the notes lack, or when
                                    either names one the reader does not know

A tag is a text the reader looks for in a control line (has(line, "<tag")),
a value a text it reads after one (markedFloat(text, "dx", "=")), an effect
a name the game's factory picks by its prefix. Every other text literal of
the reader functions must be one of IGNORED, so that a tag added in the code
cannot pass unnoticed. Notes may write {Name} for a constant of the files
read here (constexpr Name = 20), which the tool fills in: a number the notes
state is written so, so that the check fails when the code's number changes."""
import os
import re
import sys

from reference_doc import NoteUse, function_body, read, read_grouped_notes, root, without_comments, write_or_check
NOTES = os.path.join(root, 'tools', 'text_markup_notes.txt')
OUTPUT = os.path.join(root, 'docs', 'text-markup.md')

READER = 'src/node_text_markup.cpp'
# (group, function) in the order a line is read: the one-time tags first.
READER_GROUPS = [('once', 'CTextNode::processOneTimeTags'), ('pass', 'CTextNode::processPassTags')]
# Tags whose values another function reads.
VALUE_READERS = {'<img': 'CTextNode::addInlinePicture'}
EFFECTS = ('_source/stuff/texteffects.cpp', 'CreateGameTextEffect')
SIZES = ('src/module_enginebase.cpp', 'CEngineClient::getFontScale')
GLYPHS = ('src/rendering_font_draw.cpp', 'CGUIFont3D::getNextGlyph')
ICON_VALUES = ('src/rendering_font.cpp', 'CFontIconsReader::serialize')
ICON_LIST = ('src/server_game_manifest.cpp', 'EmbedIcons')
# The files whose constants the notes may name.
CONSTANT_SOURCES = (EFFECTS[0], READER, 'src/node_text.cpp')
# Literals of the reader functions that are neither tags nor values:
# separators, and the names the reader gives what it makes.
IGNORED = {'|', "'", '>', ':', '=', '<_ustify', 'TEXTIMG_%s_%i'}

LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
HAS = re.compile(r'\b(?:has|afterTag)\(\s*\w+\s*,\s*"([^"]+)"\s*\)|\.find\(\s*"([^"]+)"\s*\)')
HAS_ARRAY = re.compile(r'\bhas\(\s*\w+\s*,\s*(\w+)\[')
MARKED = re.compile(r'\bmarked(?:Float|Text)\(\s*[\w.()]+\s*,\s*(?:"([^"]+)"|(\w+)\[\w*\])\s*(?:,\s*"([^"]*)")?\s*\)')
ARRAY = re.compile(r'const char\*\s*(\w+)\[\d*\]\s*=\s*\{([^}]*)\}')
ATTRIBUTE = re.compile(r'\b(?:GetTagAttribute\(\s*"(\w+)"|attributeFloat\(\s*\w+\s*,\s*"(\w+)"|\.Find\(\s*"(\w+)"\s*\))')
CONSTANT = re.compile(r'constexpr\s+[\w:]+\s+(\w+)\s*=\s*([-\d.]+)f?\s*;')


def body_of(path, function):
    """The function's code without comments; constructors with an initializer list too."""
    text = without_comments(read(path))
    code = function_body(text, function)
    if code is None:
        match = re.search(r'^[\w:*& <>]*\b%s\([^)]*\)[^{;]*\{\n(.*?)^\}' % re.escape(function), text, re.M | re.S)
        code = match.group(1) if match else None
    return code


class Reader:
    """What the code knows: groups of tags, each with its values, in reading order."""

    def __init__(self):
        self.groups = []     # (group, [tag])
        self.values = {}     # tag -> [value label]
        self.sizes = []      # (size text, scale)
        self.constants = {}
        self.macros = []
        self.errors = []

    def code(self, path, function):
        code = body_of(path, function)
        if code is None:
            self.errors.append('%s: function %s not found' % (path, function))
        return code or ''

    def add_value(self, tag, label):
        if tag is None:
            self.errors.append('%s: a value "%s" read before any tag' % (READER, label))
        elif label not in self.values[tag]:
            self.values[tag].append(label)

    def read_reader_group(self, group, function):
        code = self.code(READER, function)
        arrays = {name: LITERAL.findall(items) for name, items in ARRAY.findall(code)}
        events = [(m.start(), 'tag', m.group(1) or m.group(2)) for m in HAS.finditer(code)]
        for m in HAS_ARRAY.finditer(code):
            events += [(m.start(), 'tag', tag) for tag in arrays.get(m.group(1), [])]
        for m in MARKED.finditer(code):
            keys = [m.group(1)] if m.group(1) else arrays.get(m.group(2), [])
            events += [(m.start(), 'value', (key, m.group(3) or ':')) for key in keys]
        tags, current, pending = [], None, []
        for _, kind, item in sorted(events, key=lambda e: e[0]):
            if kind == 'tag':
                tag = item.rstrip()
                current = tag
                if tag not in tags:
                    tags.append(tag)
                    self.values.setdefault(tag, [])
            else:
                pending.append((current, item))
        all_tags = {t for _, ts in self.groups for t in ts} | set(tags)
        values = set()
        for tag, (key, separator) in pending:
            values.add(key)
            # A tag's own value (<justify:, <x:) is no value of its own.
            if {key + separator, '<' + key + separator, '<' + key, key} & all_tags:
                continue
            self.add_value(tag, key + separator)
        checked = [(function, code)]
        for tag, function_name in VALUE_READERS.items():
            if tag in tags:
                value_code = self.code(READER, function_name)
                checked.append((function_name, value_code))
                for m in ATTRIBUTE.finditer(value_code):
                    name = m.group(1) or m.group(2) or m.group(3)
                    self.add_value(tag, name + '=')
                    values.add(name)
        known = all_tags | values | IGNORED
        for name, text in checked:
            for literal in LITERAL.findall(text):
                if literal not in known and literal.strip() not in known:
                    self.errors.append('%s: %s uses "%s", which is no tag or value this tool knows: add it to '
                                       'tools/text_markup.py' % (READER, name, literal))
        self.groups.append((group, tags))

    def read_effects(self):
        path, function = EFFECTS
        code = self.code(path, function)
        effects, current = [], None
        events = [(m.start(), 'effect', m.group(1)) for m in re.finditer(r'\bStartsWith\(\s*\w+\s*,\s*"(\w+)"\s*\)', code)]
        events += [(m.start(), 'value', m.group(1) + '...' + m.group(2))
                   for m in re.finditer(r'\btextBetween\(\s*\w+\s*,\s*"([^"]+)"\s*,\s*\'(.)\'\s*\)', code)]
        events += [(m.start(), 'class', m.group(1)) for m in re.finditer(r'\bnew\s+(\w+)\(\s*effectText\s*\)', code)]
        for _, kind, item in sorted(events, key=lambda e: e[0]):
            if kind == 'effect':
                current = item
                effects.append(item)
                self.values[item] = []
            elif kind == 'value':
                self.add_value(current, item)
            else:   # an effect that reads the effect text in its constructor
                for name in re.findall(r'\bstrstr\([^,]+,\s*"(\w+)"\s*\)', self.code(path, '%s::%s' % (item, item))):
                    self.add_value(current, name)
        self.groups.append(('effects', effects))
        self.macros = re.findall(r'\bgetMacro\(\s*"(\w+)"\s*\)', without_comments(read(path)))

    def read_constants(self):
        for path in CONSTANT_SOURCES:
            for name, value in CONSTANT.findall(without_comments(read(path))):
                value = re.sub(r'\.0$', '', value)
                # None: two files give the name different numbers.
                self.constants[name] = value if self.constants.get(name, value) == value else None

    def read_sizes(self):
        code = self.code(*SIZES)
        minus = re.search(r"if \(c == '-'\) \{(.*?)\n    \}", code, re.S)
        if not minus:
            self.errors.append('%s: %s reads no "-" sizes' % SIZES)
            return
        case = re.compile(r"case '(\d)': return ([\d.]+)f;")
        self.sizes = [('-' + d, v) for d, v in case.findall(minus.group(1))]
        self.sizes += [(d, v) for d, v in case.findall(code[minus.end():])]

    def read_icons(self):
        code = self.code(*GLYPHS)
        opening = re.search(r"cursor\[0\] == '(.)' && cursor\[1\] == '(.)'", code)
        closing = re.search(r"strchr\(cursor \+ 2, '(.)'\)", code)
        argument = re.search(r"\.Find\('(.)'\)", code)
        if not (opening and closing and argument):
            self.errors.append('%s: %s no longer reads icons as "&#name;" with a "?": update tools/text_markup.py'
                               % GLYPHS)
            return
        tag = opening.group(1) + opening.group(2)
        self.values[tag] = [argument.group(1) + '...']
        for name in re.findall(r'\bserialize\w+\(\s*"(\w+)"', self.code(*ICON_VALUES)):
            self.add_value(tag, name)
        if not re.search(r'"%s"' % ICON_LIST[1], read(ICON_LIST[0])):
            self.errors.append('%s no longer reads %s' % ICON_LIST)
        self.groups.append(('icons', [tag]))

    def read(self):
        for group, function in READER_GROUPS:
            self.read_reader_group(group, function)
        self.read_sizes()
        self.read_icons()
        self.read_effects()
        self.read_constants()


def fill(text, constants, errors):
    def constant(match):
        if match.group(1) not in constants:
            errors.append('tools/text_markup_notes.txt names {%s}, which is no constant of the code read'
                          % match.group(1))
            return match.group(0)
        if constants[match.group(1)] is None:
            errors.append('tools/text_markup_notes.txt names {%s}, which the files read give different numbers'
                          % match.group(1))
            return match.group(0)
        return constants[match.group(1)]
    return re.sub(r'\{([A-Z]\w*)\}', constant, text)


def write_reference(reader, preamble, titles, notes, errors):
    out = ['# Text markup', '',
           '<!-- Made by tools/text_markup.py from the text reader code and tools/text_markup_notes.txt;',
           '     edit those and run the tool. A test fails when this file and the code disagree. -->',
           ''] + preamble + ['']
    use = NoteUse('tools/text_markup_notes.txt', titles, notes, errors, 'the reader')
    for group, names in reader.groups:
        title, intro = use.title(group, [])
        out += ['## ' + title, '']
        if intro:
            out += intro + ['']
        for name in names:
            note = use.take(group, name, None, 'knows %s (%s)' % (name, group))
            if not note:
                continue
            form, text, extra = note
            if not form.startswith(name):
                errors.append('tools/text_markup_notes.txt: the form of %s must start with it' % name)
            out.append('- `%s`: %s' % (form, text))
            out += ['  ' + line for line in extra]
            if name == '<font-size:':
                out.append('  Sizes: ' + ', '.join('`%s` %s' % size for size in reader.sizes) +
                           '; `+` before a digit changes nothing, any other text is 1.')
            for value in reader.values.get(name, []):
                value_note = use.take(group, name, value, 'reads %s of %s' % (value, name))
                if not value_note:
                    continue
                form, text, extra = value_note
                out.append('  - `%s` *%s*. %s' % (value, form, text))
                out += ['    ' + line for line in extra]
        out.append('')
    use.unread('does not know')
    text = fill('\n'.join(out), reader.constants, errors)
    for macro in reader.macros:
        if macro not in text:
            errors.append('the effects read the macro %s, which tools/text_markup_notes.txt does not name' % macro)
    return text


def main():
    check = '--check' in sys.argv[1:]
    reader = Reader()
    reader.read()
    preamble, titles, notes, errors = read_grouped_notes('tools/text_markup_notes.txt', 'name')
    errors = reader.errors + errors
    text = write_reference(reader, preamble, titles, notes, errors)
    known = {name for _, names in reader.groups for name in names}

    def names_in(document):
        found = set()
        for form in re.findall(r'^- `([^`]+)`', document, re.M):
            prefixes = [name for name in known if form.startswith(name)]
            found.add(max(prefixes, key=len) if prefixes else form)
        return found
    return write_or_check(OUTPUT, text, errors, check, known, names_in, 'which the reader knows',
                          'which the reader does not know', 'tools/text_markup.py')


if __name__ == '__main__':
    sys.exit(main())
