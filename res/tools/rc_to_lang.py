#!/usr/bin/env python3
"""Language-file tool for Vantrell.

  rc_to_lang.py STRINGS.rc OUT.lang [--utf16 | --cp1252]
      Writes the built-in string table as a language file. Without an option
      the output is UTF-8 without signature (LF line ends), the form of the
      .lang.txt sources; --utf16 writes UTF-16LE with the FF FE signature and
      --cp1252 writes ANSI code page 1252 (both with CRLF line ends).

  rc_to_lang.py --convert IN.lang.txt OUT.lang [--utf16 | --cp1252]
      Converts a UTF-8 .lang.txt source into the file the program reads:
      UTF-16LE with signature (the default) or code page 1252, CRLF line ends.

  rc_to_lang.py --check STRINGS.rc X.lang.txt [Y.lang.txt ...]
      Compares each translation with the string table. Exits with status 1
      and lists the problems when an identifier of the string table is
      missing, when the translation has an identifier the table lacks, or
      when a text differs from the English one in its line-feed sequences or
      format placeholders.

Language file format: "ID:text" lines; "#" starts a comment line; blank lines
are ignored. In the text \\r\\n, \\n and \\t stand for CR LF, LF and TAB; no
other escape exists.
"""

import os
import re
import sys

_ENTRY_START = re.compile(r'\s*(\d+|[A-Za-z_]\w*)\s*,?\s*"')
_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
_DEFINE = re.compile(r'^\s*#\s*define\s+([A-Za-z_]\w*)\s+(\d+|[A-Za-z_]\w*)\s*$', re.M)
_PLACEHOLDER = re.compile(r'%(?:%|[-+ #0]*\d*(?:\.\d+)?[hlLIw]*[a-zA-Z]|\d+(?:![^!]*!)?)')


class ToolError(Exception):
    pass


def _strip_comments(text):
    """Removes // and /* */ comments outside string literals."""
    out = []
    i, n = 0, len(text)
    in_str = False
    while i < n:
        c = text[i]
        if in_str:
            out.append(c)
            if c == '\\' and i + 1 < n:
                out.append(text[i + 1])
                i += 2
                continue
            if c == '"':
                if i + 1 < n and text[i + 1] == '"':
                    out.append('"')
                    i += 2
                    continue
                in_str = False
            i += 1
            continue
        if c == '"':
            in_str = True
            out.append(c)
            i += 1
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


def _read_rc_literal(text, pos, where):
    """Reads a windres string literal whose opening quote precedes pos.

    Returns (value, new_pos). In the value, a line feed, carriage return and
    tab are kept as the language-file escapes \\n, \\r and \\t, so that the
    value can be written to a language file as it stands.
    """
    value = []
    n = len(text)
    while True:
        if pos >= n:
            raise ToolError('%s: unterminated string' % where)
        c = text[pos]
        if c == '"':
            if pos + 1 < n and text[pos + 1] == '"':
                value.append('"')
                pos += 2
                continue
            return ''.join(value), pos + 1
        if c == '\n':
            raise ToolError('%s: line break inside a string' % where)
        if c != '\\':
            value.append(c)
            pos += 1
            continue
        if pos + 1 >= n:
            raise ToolError('%s: unterminated string' % where)
        e = text[pos + 1]
        pos += 2
        if e == 'n':
            value.append('\\n')
        elif e == 'r':
            value.append('\\r')
        elif e == 't':
            value.append('\\t')
        elif e == '\\':
            value.append('\\')
        elif e == '"':
            value.append('"')
        elif e == 'a':
            value.append('\x07')
        elif e in 'xX':
            m = re.match(r'[0-9a-fA-F]{1,4}', text[pos:])
            if not m:
                raise ToolError('%s: bad \\x escape' % where)
            value.append(chr(int(m.group(0), 16)))
            pos += m.end()
        elif e in '01234567':
            m = re.match(r'[0-7]{0,2}', text[pos:])
            value.append(chr(int(e + m.group(0), 8)))
            pos += m.end()
        else:
            raise ToolError('%s: unknown escape \\%s' % (where, e))


def _identifiers(rc_path, text):
    """The numeric #defines of the headers a resource script includes with
    quotes, looked up beside the script and then at the source root (the
    folder above it), following their own includes. A name defined as
    another name takes that name's number."""
    raw = {}
    seen = set()
    roots = [os.path.dirname(rc_path), os.path.dirname(os.path.dirname(os.path.abspath(rc_path)))]

    def visit(source):
        for inc in _INCLUDE.findall(source):
            header = next((os.path.join(r, inc) for r in roots if os.path.exists(os.path.join(r, inc))), None)
            if header is None or os.path.abspath(header) in seen:
                continue
            seen.add(os.path.abspath(header))
            with open(header, encoding='utf-8') as f:
                body = _strip_comments(f.read())
            visit(body)
            for name, value in _DEFINE.findall(body):
                raw[name] = value

    visit(text)
    names = {}
    for name, value in raw.items():
        hops = 0
        while not value.isdigit() and value in raw and hops < 16:
            value, hops = raw[value], hops + 1
        if value.isdigit():
            names[name] = int(value)
    return names


def read_rc(path):
    """Returns {id: text} of every STRINGTABLE entry of a resource script.
    An entry's identifier is a number or a name #defined in an included
    header."""
    with open(path, encoding='utf-8-sig') as f:
        text = _strip_comments(f.read())
    names = _identifiers(path, text)

    def where(pos):
        return '%s:%d' % (path, text.count('\n', 0, pos) + 1)

    strings = {}
    pos = 0
    while True:
        m = re.compile(r'\bSTRINGTABLE\b').search(text, pos)
        if not m:
            break
        b = re.compile(r'\bBEGIN\b|\{').search(text, m.end())
        if not b:
            raise ToolError('%s: STRINGTABLE without BEGIN' % where(m.start()))
        pos = b.end()
        while True:
            ws = re.compile(r'\s*').match(text, pos)
            pos = ws.end()
            e = re.compile(r'END\b|\}').match(text, pos)
            if e:
                pos = e.end()
                break
            entry = _ENTRY_START.match(text, pos)
            if not entry:
                if pos >= len(text):
                    raise ToolError('%s: STRINGTABLE without END' % path)
                raise ToolError('%s: cannot read %r'
                                % (where(pos), text[pos:pos + 40].split('\n')[0]))
            key = entry.group(1)
            if key.isdigit():
                sid = int(key)
            elif key in names:
                sid = names[key]
            else:
                raise ToolError('%s: unknown identifier %s' % (where(entry.start(1)), key))
            value, pos = _read_rc_literal(text, entry.end(), where(entry.start(1)))
            if sid in strings:
                raise ToolError('%s: identifier %d defined twice' % (where(entry.start(1)), sid))
            strings[sid] = value
    if not strings:
        raise ToolError('%s: no STRINGTABLE entry found' % path)
    return strings


def read_lang(path):
    """Returns ({id: text}, [duplicate ids]) of a UTF-8 .lang.txt source.

    Texts keep their escape sequences as written.
    """
    with open(path, encoding='utf-8-sig') as f:
        lines = f.read().split('\n')
    strings, dups = {}, []
    for raw in lines:
        line = raw[:-1] if raw.endswith('\r') else raw
        body = line.lstrip(' \t')
        if not body or body.startswith('#'):
            continue
        if ':' not in body:
            continue
        key, text = body.split(':', 1)
        m = re.match(r'\s*(\d+)', key)
        if not m or int(m.group(1)) == 0:
            continue
        sid = int(m.group(1))
        if sid in strings:
            dups.append(sid)
        strings[sid] = text
    return strings, dups


def _encode(lines, mode, path):
    if mode == 'utf8':
        return ('\n'.join(lines) + '\n').encode('utf-8')
    text = '\r\n'.join(lines) + '\r\n'
    if mode == 'utf16':
        return b'\xff\xfe' + text.encode('utf-16-le')
    try:
        return text.encode('cp1252')
    except UnicodeEncodeError as e:
        bad = text[e.start]
        line = text.count('\n', 0, e.start) + 1
        raise ToolError('%s: line %d: character U+%04X does not fit code page 1252'
                        % (path, line, ord(bad)))


def _write(path, data):
    with open(path, 'wb') as f:
        f.write(data)


def rc_to_lang(rc_path, out_path, mode):
    strings = read_rc(rc_path)
    lines = ['# Vantrell language file: English (built-in string table).',
             '# Generated from %s.' % rc_path.replace('\\', '/').split('/')[-1],
             '']
    for sid in sorted(strings):
        text = strings[sid]
        if '\n' in text or '\r' in text:
            raise ToolError('%s: identifier %d holds a raw line break' % (rc_path, sid))
        lines.append('%d:%s' % (sid, text))
    _write(out_path, _encode(lines, mode, out_path))
    return len(strings)


def convert(in_path, out_path, mode):
    with open(in_path, encoding='utf-8-sig') as f:
        lines = f.read().split('\n')
    if lines and lines[-1] == '':
        lines.pop()
    lines = [l[:-1] if l.endswith('\r') else l for l in lines]
    _write(out_path, _encode(lines, mode, out_path))
    return len(lines)


def _placeholders(text):
    return sorted(_PLACEHOLDER.findall(text))


def check(rc_path, lang_paths):
    english = read_rc(rc_path)
    failed = False
    for path in lang_paths:
        strings, dups = read_lang(path)
        problems = []
        missing = sorted(set(english) - set(strings))
        extra = sorted(set(strings) - set(english))
        if missing:
            problems.append('missing in translation: ' + ', '.join(map(str, missing)))
        if extra:
            problems.append('not in string table: ' + ', '.join(map(str, extra)))
        for sid in sorted(set(english) & set(strings)):
            en, tr = english[sid], strings[sid]
            if en.count('\\n') != tr.count('\\n'):
                problems.append('%d: %d line feeds, English has %d'
                                % (sid, tr.count('\\n'), en.count('\\n')))
            if _placeholders(en) != _placeholders(tr):
                problems.append('%d: placeholders %s, English has %s'
                                % (sid, _placeholders(tr), _placeholders(en)))
        for sid in sorted(set(dups)):
            problems.append('%d: defined more than once' % sid)
        if problems:
            failed = True
            print('%s: FAILED' % path)
            for p in problems:
                print('  ' + p)
        else:
            print('%s: OK, %d strings' % (path, len(strings)))
    return 1 if failed else 0


def _usage():
    sys.stderr.write(__doc__)
    return 2


def main(argv):
    args = list(argv)
    mode = 'utf8'
    if '--utf16' in args and '--cp1252' in args:
        return _usage()
    if '--utf16' in args:
        args.remove('--utf16')
        mode = 'utf16'
    if '--cp1252' in args:
        args.remove('--cp1252')
        mode = 'cp1252'
    try:
        if args and args[0] == '--check':
            if len(args) < 3:
                return _usage()
            return check(args[1], args[2:])
        if args and args[0] == '--convert':
            if len(args) != 3:
                return _usage()
            convert(args[1], args[2], 'utf16' if mode == 'utf8' else mode)
            return 0
        if len(args) != 2 or args[0].startswith('--'):
            return _usage()
        rc_to_lang(args[0], args[1], mode)
        return 0
    except (ToolError, OSError) as e:
        sys.stderr.write('rc_to_lang: %s\n' % e)
        return 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
