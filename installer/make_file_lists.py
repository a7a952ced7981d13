#!/usr/bin/env python3
"""Writes the installer's file lists from the staged install tree.

  make_file_lists.py STAGE OUT.nsh [--payload DIR --strip STRIP]

With --payload, the installed files are copied into DIR first, programs and
libraries without their debugging information (STRIP -g), and the lists
name those copies: the staged tree keeps its debugging information for the
tests, the installer ships the program a tenth of the size.

The stage also holds test programs and benchmark tools beside the program;
only these parts are installed, each a component of the installer:

  core    vantrell.exe, Languages\\*.lang, samples\\*
  ie55, ie6, ie7, ie8
          the engine files of the version: the files of the stage's top
          folder whose name starts with the version code (5, 6, 7, 8) and
          ends with ".dll"
  ie9     everything below ie9\\ (the version-9 program and its libraries)

For each part the output defines two macros: FILES_<part> (SetOutPath and
File lines) and REMOVE_<part> (one Delete line per file, then RMDir for
every folder it made, deepest first, which leaves a folder that still holds
something of the user's). Exits 1 when a part has no file at all, so that a
stage that was not built cannot give an installer without a program.
"""
import os
import shutil
import subprocess
import sys

PARTS = ('core', 'ie55', 'ie6', 'ie7', 'ie8', 'ie9')
VERSION_CODES = {'ie55': '5', 'ie6': '6', 'ie7': '7', 'ie8': '8'}


def part_of(relative):
    """The part a staged file belongs to, or None when it is not installed."""
    parts = relative.split('/')
    name = parts[-1]
    if len(parts) == 1:
        if name.lower() == 'vantrell.exe':
            return 'core'
        for part, code in VERSION_CODES.items():
            if name.startswith(code) and name.lower().endswith('.dll'):
                return part
        return None
    top = parts[0].lower()
    if top == 'languages' and len(parts) == 2 and name.lower().endswith('.lang'):
        return 'core'
    if top == 'samples' and len(parts) == 2:
        return 'core'
    if top == 'ie9':
        return 'ie9'
    return None


def collect(stage):
    files = {part: [] for part in PARTS}
    for folder, dirs, names in os.walk(stage):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, stage).replace(os.sep, '/')
            part = part_of(relative)
            if part:
                files[part].append(relative)
    return files


def win(relative):
    return relative.replace('/', '\\')


def macros(stage, part, relatives):
    out = ['!macro FILES_%s' % part]
    by_folder = {}
    for r in relatives:
        by_folder.setdefault(os.path.dirname(r), []).append(r)
    for folder in sorted(by_folder):
        target = '$INSTDIR' + ('\\' + win(folder) if folder else '')
        out.append('  SetOutPath "%s"' % target)
        for r in by_folder[folder]:
            out.append('  File "%s"' % os.path.join(stage, r))
    out.append('!macroend')
    out.append('!macro REMOVE_%s' % part)
    for r in relatives:
        out.append('  Delete "$INSTDIR\\%s"' % win(r))
    folders = set()
    for r in relatives:
        d = os.path.dirname(r)
        while d:
            folders.add(d)
            d = os.path.dirname(d)
    for d in sorted(folders, key=lambda f: (-f.count('/'), f)):
        out.append('  RMDir "$INSTDIR\\%s"' % win(d))
    out.append('!macroend')
    return out


def copy_payload(stage, payload, strip, files):
    """Copies the installed files below `payload`, stripping programs and
    libraries, and removes what the lists no longer name."""
    wanted = set()
    for relatives in files.values():
        for r in relatives:
            wanted.add(r)
            source = os.path.join(stage, r)
            target = os.path.join(payload, r)
            if os.path.exists(target) and os.path.getmtime(target) >= os.path.getmtime(source):
                continue
            os.makedirs(os.path.dirname(target), exist_ok=True)
            if r.lower().endswith(('.exe', '.dll')):
                subprocess.run([strip, '-g', '-o', target, source], check=True)
            else:
                shutil.copyfile(source, target)
    for folder, _dirs, names in os.walk(payload):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.relpath(path, payload).replace(os.sep, '/') not in wanted:
                os.remove(path)


def main(argv):
    args = argv[1:]
    options = {}
    while len(args) >= 2 and args[-2] in ('--payload', '--strip'):
        options[args[-2]] = args[-1]
        args = args[:-2]
    if len(args) != 2 or ('--payload' in options) != ('--strip' in options):
        sys.stderr.write(__doc__)
        return 2
    stage, target = os.path.abspath(args[0]), args[1]
    files = collect(stage)
    empty = [p for p in PARTS if not files[p]]
    if empty:
        sys.stderr.write('make_file_lists.py: nothing staged for: %s\n' % ', '.join(empty))
        return 1
    source = stage
    if '--payload' in options:
        source = os.path.abspath(options['--payload'])
        copy_payload(stage, source, options['--strip'], files)
    lines = ['; Written by installer/make_file_lists.py from %s; do not edit.' % stage]
    for part in PARTS:
        lines += macros(source, part, files[part])
    text = '\n'.join(lines) + '\n'
    # Only a changed list touches the file, so the installer is not made
    # again for nothing.
    if not os.path.exists(target) or open(target, encoding='utf-8').read() != text:
        with open(target, 'w', encoding='utf-8') as f:
            f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
