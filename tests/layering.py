#!/usr/bin/env python3
"""Checks the include rules of the tree: a layer includes only itself and the
layers below it, the base library's areas likewise, the Linux layer
(base/platform/) is included only inside the base library and its tests, the
pull parser's internals (base/xml/pxp/) also by fuzz targets and benchmarks, public headers do not hand the
Linux layer to their callers, and only tests, fuzz targets and benchmarks
include test code. The device manager's areas are layered the same way
(ecm/core/ lowest, then record/, simulated/, probe/, the manager itself in
ecm/ at the top), and outside ecm/ and its tests only the manager's own
headers, ecm/core/ and the public device record and list are included; the device manager creates module
instances and runs module functions only through CVLECMModuleCalls, which gives each the requests its purpose may
send. The test helpers are layered too: tests/support/<layer>
includes only its layer and below, the tests of a layer use only the helpers
of their layer and below, and no layer's tests include another layer's."""
import os
import re
import subprocess
import sys

LAYERS = ['base', 'script', 'cm', 'modules', 'ecm', 'pfw', 'app']
AREAS = ['platform', 'core', 'thread', 'stream', 'net', 'xml', 'value', 'system', 'log']
# The device manager's areas, lowest first; '' is the manager itself at the top of ecm/.
ECM_AREAS = ['core', 'record', 'simulated', 'probe', '']
# What the layers above may use of the areas below the manager: the device
# record and list are public (the application framework derives from them).
ECM_PUBLIC = ('ecm/record/VLECMNIFInfo.h', 'ecm/probe/VLECMNIFInfoList.h')
ECM_PRIVATE = ('ecm/core/VLECMPrivate.h',)
# The test helpers' folders (the base library's at the top of tests/support)
# and the layer each serves; the emulator needs only the base library.
SUPPORT = {'base': 'base', 'emulator': 'base', 'script': 'script', 'cm': 'cm', 'modules': 'modules', 'ecm': 'ecm'}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# The module framework's calls that create an instance or run a function.
MODULE_CALL = re.compile(r'(\bCreateModuleInstance|\bExecFunction|->\s*Probe)\s*\(')
MODULE_CALLS = 'ecm/core/VLECMModuleCalls.cpp'
COMMENT = re.compile(r'//[^\n]*')


def rank(name, order):
    return order.index(name) if name in order else -1


def support_of(path):
    """The helper folder of tests/support/<folder>/..., 'base' for the files at its top."""
    parts = path.split('/')
    if parts[:2] != ['tests', 'support']:
        return None
    return parts[2] if len(parts) > 3 and parts[2] in SUPPORT else 'base'


def test_rules(path, inc):
    """Problems of an include by test code, fuzz targets and benchmarks."""
    itop = inc.split('/')[0]
    if path.startswith('tests/support/tests/'):
        return None  # the helpers' own tests
    if path.startswith('tests/support/'):
        own = support_of(path)
        layer = SUPPORT[own]
        if rank(itop, LAYERS) > rank(layer, LAYERS):
            return '%s: the %s test helpers include the higher layer %s' % (path, own, inc)
        if itop == 'tests':
            other = support_of(inc)
            if other is None:
                return '%s: the test helpers include a test %s' % (path, inc)
            # Helpers of one layer do not use those of another on their level.
            if other != own and rank(SUPPORT[other], LAYERS) >= rank(layer, LAYERS) and other != 'base':
                return '%s: the %s test helpers include the %s helpers %s' % (path, own, other, inc)
        return None
    parts = path.split('/')
    if parts[0] != 'tests' or itop != 'tests' or rank(parts[1], LAYERS) < 0:
        return None
    layer = parts[1]
    other = support_of(inc)
    if other is not None:
        if rank(SUPPORT[other], LAYERS) > rank(layer, LAYERS):
            return '%s: the %s tests use the higher %s test helpers %s' % (path, layer, other, inc)
    elif inc.split('/')[1] != layer:
        return "%s: includes the %s tests' own %s" % (path, inc.split('/')[1], inc)
    return None


def ecm_area(path):
    """The device manager's area of ecm/<area>/file or '' for ecm/file."""
    parts = path.split('/')
    return parts[1] if len(parts) > 2 else ''


def ecm_rules(path, inc):
    """Problems of an include of the device manager's files."""
    if not inc.startswith('ecm/'):
        return None
    iarea = ecm_area(inc)
    if path.startswith('ecm/'):
        farea = ecm_area(path)
        if rank(iarea, ECM_AREAS) > rank(farea, ECM_AREAS):
            return "%s: the device manager's %s area includes the higher %s (%s)" % (
                path, farea or 'top', iarea or 'top', inc)
        return None
    if path.startswith(('tests/ecm/', 'tests/support/ecm/', 'fuzz/', 'bench/')):
        return None
    if inc in ECM_PRIVATE or (iarea not in ('', 'core') and inc not in ECM_PUBLIC):
        return "%s: includes the device manager's internal %s" % (path, inc)
    return None


def module_call_rules(path, text):
    """Problems of the device manager's calls into the module framework."""
    if not path.startswith('ecm/') or path == MODULE_CALLS:
        return []
    return ['%s: calls the module framework\'s %s( itself, not through CVLECMModuleCalls' % (path, call)
            for call in sorted(set(m.group(1) for m in MODULE_CALL.finditer(COMMENT.sub('', text))))]


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
        problems.extend(module_call_rules(path, text))
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
            problem = ecm_rules(path, inc)
            if problem:
                problems.append(problem)
            if itop == 'tests' and top not in ('tests', 'fuzz', 'bench'):
                problems.append('%s: includes test code %s' % (path, inc))
            problem = test_rules(path, inc)
            if problem:
                problems.append(problem)
    for p in problems:
        print(p)
    if problems:
        return 1
    print('layering: ok (%d files)' % len(files))
    return 0


if __name__ == '__main__':
    sys.exit(main())
