#!/usr/bin/env python3
"""Checks the include rules of the tree: a layer includes only itself and the
layers below it, the base library's areas likewise, the Linux layer
(base/platform/) is included only inside the base library and its tests, the
pull parser's internals (base/xml/pxp/) also by fuzz targets and benchmarks, public headers do not hand the
Linux layer to their callers, and only tests, fuzz targets and benchmarks
include test code."""
import os
import re
import subprocess
import sys

LAYERS = ['base', 'script', 'cm', 'modules', 'ecm', 'pfw', 'app']
AREAS = ['platform', 'core', 'thread', 'stream', 'net', 'xml', 'value', 'system', 'log']
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def rank(name, order):
    return order.index(name) if name in order else -1


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
    os.chdir(root)
    try:
        files = subprocess.run(['git', 'ls-files', '*.h', '*.cpp', '*.inc'], capture_output=True, text=True,
                               check=True).stdout.split()
    except (OSError, subprocess.CalledProcessError):
        files = [os.path.relpath(os.path.join(d, f)) for d, _, fs in os.walk('.') for f in fs
                 if f.endswith(('.h', '.cpp', '.inc'))]
    problems = []
    for path in files:
        try:
            text = open(path, encoding='utf-8', errors='replace').read()
        except OSError:
            continue
        top = path.split('/')[0]
        for inc in INCLUDE.findall(text):
            itop = inc.split('/')[0]
            if rank(top, LAYERS) >= 0 and rank(itop, LAYERS) > rank(top, LAYERS):
                problems.append('%s: includes the higher layer %s' % (path, inc))
            # The pull parser's inside may also be fuzzed and measured directly.
            private_ok = ('base/', 'tests/base/') + (('fuzz/', 'bench/') if inc.startswith('base/xml/pxp/') else ())
            if inc.startswith(('base/platform/', 'base/xml/pxp/')) and not path.startswith(private_ok):
                problems.append("%s: includes the base library's private %s" % (path, inc))
            if top == 'base' and itop == 'base':
                farea, iarea = path.split('/')[1], inc.split('/')[1]
                # The Linux layer serves the whole library and may use its core types.
                if farea != 'platform' and rank(farea, AREAS) >= 0 and rank(iarea, AREAS) > rank(farea, AREAS):
                    problems.append('%s: the %s area includes the higher %s area (%s)' % (path, farea, iarea, inc))
                if (path.endswith('.h') and not path.startswith(('base/platform/', 'base/xml/pxp/'))
                        and inc.startswith('base/platform/')):
                    problems.append('%s: public header includes %s' % (path, inc))
            if itop == 'tests' and top not in ('tests', 'fuzz', 'bench'):
                problems.append('%s: includes test code %s' % (path, inc))
    for p in problems:
        print(p)
    if problems:
        return 1
    print('layering: ok (%d files)' % len(files))
    return 0


if __name__ == '__main__':
    sys.exit(main())
