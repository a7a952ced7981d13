#!/usr/bin/env python3
"""Checks that every layer of the program includes only itself and the
layers below it. Prints each offending include and exits 1 when there is one.

  check_layers.py SOURCE_ROOT

The layers and what each may use come from the build files, not from a list
kept here:
  - the order of the add_subdirectory() calls of the top CMakeLists.txt puts
    the folders bottom up;
  - the target_link_libraries() of each folder's CMakeLists.txt files say
    which folders its libraries build on (followed transitively), and a
    file of another folder named in them (${CMAKE_SOURCE_DIR}/framework/...,
    as a dependency of the resource script) says the same. A folder may
    include itself and the folders it builds on, and for the program every
    one of those must be added before it.
The program is what the `vantrell` executable links. Every folder of the
program may also include res/ (identifiers only, no code); every folder,
the stand-in engines included, may include contracts/ (interfaces the
program shares with components built apart from it). A folder outside the
program (the stand-in engines, the installer) includes nothing of it. The
test tree (tests/ and what is added after it) may use every folder.

Quoted includes with a folder ("core/versions.h"), bare ones ("handles.h",
looked up beside the including file and then in every folder) and
angle-bracket includes with a folder (<framework/app.h>) are all checked;
relative paths ("../res/resource_ids.h") are resolved first.
"""
import os
import re
import sys

SUBDIRECTORY = re.compile(r'^\s*add_subdirectory\(\s*([A-Za-z0-9_]+)\s*\)', re.M)
TARGET = re.compile(r'\badd_(?:library|executable)\(\s*([A-Za-z0-9_]+)\b')
LINKS = re.compile(r'\btarget_link_libraries\(\s*([A-Za-z0-9_]+)([^)]*)\)', re.S)
OBJECTS = re.compile(r'\$<TARGET_OBJECTS:([A-Za-z0-9_]+)>')
INCLUDE = re.compile(r'^\s*#\s*include\s*(["<])([^">]+)[">]', re.M)
SOURCES = ('.h', '.hpp', '.cpp', '.c', '.rc', '.inl')
ANY_FOLDER = ('contracts',)   # may be included by every folder
PROGRAM_DATA = ('res',)       # may be included by every folder of the program
EXECUTABLE = 'vantrell'


def cmake_files(folder):
    for path, dirs, files in os.walk(folder):
        dirs[:] = [d for d in dirs if d != 'tests']
        if 'CMakeLists.txt' in files:
            yield os.path.join(path, 'CMakeLists.txt')


def read_build(root):
    """The folders in add_subdirectory order, which folder each target is
    made in, and the targets each target links (or takes objects of)."""
    with open(os.path.join(root, 'CMakeLists.txt'), encoding='utf-8') as f:
        order = [d for d in SUBDIRECTORY.findall(f.read()) if os.path.isdir(os.path.join(root, d))]
    folder_of, links, named = {}, {}, {}
    for folder in order:
        named[folder] = set()
        for path in cmake_files(os.path.join(root, folder)):
            with open(path, encoding='utf-8') as f:
                text = re.sub(r'#[^\n]*', '', f.read())
            for other in re.findall(r'\$\{CMAKE_SOURCE_DIR\}/([A-Za-z0-9_]+)/', text):
                if other != folder and other in order:
                    named[folder].add(other)
            for name in TARGET.findall(text):
                folder_of.setdefault(name, folder)
            for name, rest in LINKS.findall(text):
                links.setdefault(name, set()).update(re.findall(r'[A-Za-z0-9_]+', rest))
            for call in re.finditer(r'\badd_(?:library|executable)\(\s*([A-Za-z0-9_]+)([^)]*)\)', text, re.S):
                links.setdefault(call.group(1), set()).update(OBJECTS.findall(call.group(2)))
    return order, folder_of, links, named


def closure(start, links):
    seen, todo = set(), [start]
    while todo:
        for dep in links.get(todo.pop(), ()):
            if dep not in seen:
                seen.add(dep)
                todo.append(dep)
    return seen


def layer_rules(root):
    """For each folder: the folders it may include, and the offences of its
    build files (links to folders added after it)."""
    order, folder_of, links, named = read_build(root)
    position = {folder: i for i, folder in enumerate(order)}
    program = {folder_of[t] for t in closure(EXECUTABLE, links) | {EXECUTABLE} if t in folder_of}
    allowed, offences = {}, []
    for folder in order:
        targets = [t for t, f in folder_of.items() if f == folder]
        below = set(named[folder])
        for target in targets:
            for dep in closure(target, links):
                dep_folder = folder_of.get(dep)
                if not dep_folder or dep_folder == folder:
                    continue
                below.add(dep_folder)
                if folder in program and position[dep_folder] > position[folder]:
                    offences.append('%s/CMakeLists.txt: %s builds on %s, which the top CMakeLists.txt adds after %s'
                                    % (folder, target, dep_folder, folder))
        if folder in program:
            may = {folder} | below | set(ANY_FOLDER) | set(PROGRAM_DATA)
        else:
            may = {folder} | (below - program) | set(ANY_FOLDER)
        allowed[folder] = may
    return order, allowed, offences


def target_folder(root, path, kind, name, folders):
    """The top folder an include names, or None when it names none of ours."""
    here = os.path.dirname(path)
    if kind == '"':
        local = os.path.normpath(os.path.join(here, name))
        if os.path.exists(local):
            rel = os.path.relpath(local, root)
            top = rel.split(os.sep, 1)[0]
            return top if '/' in name or '\\' in name or top != os.path.relpath(here, root).split(os.sep, 1)[0] \
                else None
    parts = name.replace('\\', '/').split('/')
    if len(parts) > 1:
        return parts[0] if parts[0] in folders else None
    if kind == '<':
        return None  # a system header
    # A bare name not beside the file: whichever folder has it at its top.
    for folder in folders:
        if os.path.exists(os.path.join(root, folder, name)):
            return folder
    return None


def offences(root):
    order, allowed, found = layer_rules(root)
    folders = set(order) | set(ANY_FOLDER)
    checked = order[:order.index('tests')] if 'tests' in order else order
    for layer in checked:
        for folder, dirs, files in os.walk(os.path.join(root, layer)):
            # Tests of a layer may use the test support of the tree.
            dirs[:] = [d for d in dirs if d != 'tests']
            for name in files:
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding='utf-8', errors='replace') as f:
                    text = f.read()
                for kind, inc in INCLUDE.findall(text):
                    top = target_folder(root, path, kind, inc, folders)
                    if top is None:
                        continue
                    if top not in allowed[layer]:
                        found.append('%s: includes %s%s%s (%s may use %s)' % (
                            os.path.relpath(path, root), kind, inc, '"' if kind == '"' else '>', layer,
                            ', '.join(sorted(allowed[layer]))))
    return found


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip())
        return 2
    found = offences(argv[1])
    for line in found:
        print(line)
    print('%d passed, %d failed' % (0 if found else 1, 1 if found else 0))
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
