"""What the tools that write the references in docs/ share: reading the
engine's sources as text, their notes files, and the end of a run that either writes the
reference or, with --check, compares it with what the code holds."""
import os
import re

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read(relative):
    with open(os.path.join(root, relative), encoding='latin-1') as fh:
        return fh.read()


def sources():
    for folder in ('src', '_source'):
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if name.endswith('.cpp'):
                    yield os.path.relpath(os.path.join(dirpath, name), root)


def without_comments(text):
    """The code with // and /* */ comments blanked, strings kept."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if c == '"' or c == "'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == '\\' else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith('//', i):
            j = text.find('\n', i)
            i = n if j < 0 else j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            i = n if j < 0 else j + 2
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def function_body(text, name):
    match = re.search(r'^[\w:*& <>]*\b%s\(.*?\)\s*(?:const\s*)?\n\{\n(.*?)^\}' % re.escape(name), text, re.M | re.S)
    return match.group(1) if match else None


def read_grouped_notes(relative, name_form):
    """A notes file of "[group] title" lines, each followed by "name [value] |
    form | sentence" lines; a "+ text" line continues the note, the group's
    title or, before any group, the preamble (indents after "+ " are kept).
    Returns preamble [lines], titles {group: (title, [lines])}, notes
    {(group, name, value): (form, sentence, [lines])} and errors."""
    preamble, titles, notes, errors = [], {}, {}, []
    group, last = None, None
    with open(os.path.join(root, relative), encoding='utf-8') as fh:
        for number, line in enumerate(fh, 1):
            line = line.rstrip('\n')
            where = '%s:%d' % (relative, number)
            if not line.strip() or line.startswith('#'):
                continue
            if line.startswith('['):
                match = re.match(r'\[(\w+)\]\s*(.*?)\s*$', line)
                group, last = match.group(1), None
                titles[group] = (match.group(2), [])
                continue
            if line.startswith('+'):
                text = line[2:] if line.startswith('+ ') else line[1:]
                (preamble if group is None else titles[group][1] if last is None else notes[last][2]).append(text)
                continue
            fields = [part.strip() for part in line.split(' | ')]
            if group is None or len(fields) != 3:
                errors.append('%s: write "[group] title" first, then "%s [value] | form | sentence"'
                              % (where, name_form))
                continue
            head = fields[0].split(' ', 1)
            last = (group, head[0], head[1] if len(head) == 2 else None)
            if last in notes:
                errors.append('%s: a second note for %s' % (where, fields[0]))
            notes[last] = (fields[1], fields[2], [])
    return preamble, titles, notes, errors


class NoteUse:
    """Hands out the notes of a notes file as a writer asks for them, noting
    in errors each one asked for and missing; unread() adds one for each
    group and note the writer never asked for."""

    def __init__(self, relative, titles, notes, errors, reader):
        self.relative, self.titles, self.notes, self.errors = relative, titles, notes, errors
        self.reader = reader   # "the parser"
        self.used, self.groups = set(), set()

    def title(self, group, default):
        self.groups.add(group)
        if group not in self.titles:
            self.errors.append('%s has no "[%s] title" line' % (self.relative, group))
            return group, default
        return self.titles[group]

    def take(self, group, name, value, what):
        # what: how the reader meets it ("reads -Key: (group)")
        note = self.notes.get((group, name, value))
        if not note:
            self.errors.append('%s %s but %s has no line for it' % (self.reader, what, self.relative))
            return None
        self.used.add((group, name, value))
        return note

    def unread(self, verb_not):
        for group in sorted(set(self.titles) - self.groups):
            self.errors.append('%s has a group [%s] that the tool does not read' % (self.relative, group))
        for group, name, value in sorted(set(self.notes) - self.used, key=lambda k: (k[0], k[1], k[2] or '')):
            self.errors.append('%s names %s%s (%s), which %s %s' % (self.relative, name, ' ' + value if value else '',
                                                                  group, self.reader, verb_not))


def write_or_check(output, text, errors, check, known, names_in, missing, extra, tool):
    """Writes text to output; with check, writes nothing and adds an error for
    each name of known that the file lacks (missing % name), each it names
    that known lacks (extra % name), and for any other difference. Prints the
    errors; the exit code."""
    name = os.path.relpath(output, root)
    if check:
        current = ''
        if os.path.exists(output):
            with open(output, encoding='utf-8') as fh:
                current = fh.read()
        documented = names_in(current)
        for entry in sorted(known - documented):
            errors.append('%s has no line for %s, %s' % (name, entry, missing))
        for entry in sorted(documented - known):
            errors.append('%s names %s, %s' % (name, entry, extra))
        if current != text and not errors:
            errors.append('%s differs from what %s writes: run it' % (name, tool))
    else:
        with open(output, 'w', encoding='utf-8') as fh:
            fh.write(text)
    for error in errors:
        print(error)
    return 1 if errors else 0
