#!/usr/bin/env python3
"""Checks that every layer of the program includes only itself and the
layers below it. Prints each offending include and exits 1 when there is one.

  check_layers.py SOURCE_ROOT
"""
import os
import re
import sys

# Each layer and the folders its files may include, bottom up. res/ holds
# only identifiers and may be included by every layer of the program.
LAYERS = {
    'framework': {'framework'},
    'interception': {'interception'},
    'core': {'core', 'framework', 'res'},
    'isolation': {'isolation', 'interception', 'core', 'framework', 'res'},
    'prefs': {'prefs', 'core', 'framework', 'res'},
    'browser': {'browser', 'prefs', 'isolation', 'core', 'framework', 'res'},
    'hosting': {'hosting', 'browser', 'prefs', 'isolation', 'core', 'framework', 'res'},
    'shell': {'shell', 'hosting', 'browser', 'prefs', 'isolation', 'core', 'framework', 'res'},
    'app': {'app', 'shell', 'hosting', 'browser', 'prefs', 'isolation', 'core', 'framework', 'res'},
    # The stand-in engines are outside the program and include none of it.
    'engines': {'engines'},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
SOURCES = ('.h', '.cpp', '.c', '.rc', '.inl')


def offences(root):
    for layer, allowed in LAYERS.items():
        for folder, dirs, files in os.walk(os.path.join(root, layer)):
            # Tests of a layer may use the test support of the tree.
            dirs[:] = [d for d in dirs if d != 'tests']
            for name in files:
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding='utf-8', errors='replace') as f:
                    text = f.read()
                for inc in INCLUDE.findall(text):
                    if '/' not in inc:
                        continue  # a file of the same folder
                    top = inc.split('/', 1)[0]
                    if top in LAYERS or top in ('res', 'tests'):
                        if top not in allowed:
                            yield '%s: includes "%s" (layer %s may use %s)' % (
                                os.path.relpath(path, root), inc, layer, ', '.join(sorted(allowed)))


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip())
        return 2
    found = list(offences(argv[1]))
    for line in found:
        print(line)
    print('%d passed, %d failed' % (0 if found else 1, 1 if found else 0))
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
