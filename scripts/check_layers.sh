#!/usr/bin/env bash
# Checks the layering of the tree from its #include "..." lines:
#   - core/ includes only core/, and inside it base/ < storage/ < modbus/ < device/: a folder
#     includes only from itself and the folders before it;
#   - a front end (gui/, cli/, sim/) includes the core and itself, never another front end;
#   - no include circle between files (a header and its source count as one).
# Exits 1 with one line a finding, 0 when the tree keeps to them.
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$root"
# -S: the standard library is all it needs, and the site packages take most of the start.
python3 -S - <<'PY'
import os, re, subprocess, sys

files = subprocess.run(['git', 'ls-files', '--cached', '--others', '--exclude-standard', '--',
                        'core', 'gui', 'cli', 'sim', 'tests', 'bench', 'fuzz'],
                       capture_output=True, text=True, check=True).stdout.split()
files = [f for f in files if f.endswith(('.h', '.cpp')) and os.path.exists(f)]
core_order = ['base', 'storage', 'modbus', 'device']
front_ends = {'gui', 'cli', 'sim'}
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
findings = []
graph = {}

def unit(path):
    return os.path.splitext(path)[0]

for f in files:
    top = f.split('/')[0]
    with open(f, encoding='utf-8', errors='replace') as text:
        for number, line in enumerate(text, 1):
            m = include.match(line)
            if not m:
                continue
            target = m.group(1)
            if '/' not in target:
                # Generated form headers (ui_*.h) and moc output belong to the window.
                if target.startswith('ui_') and top not in ('gui', 'tests', 'bench'):
                    findings.append(f'{f}:{number}: {target} is the window\'s form, outside gui/')
                continue
            target_top = target.split('/')[0]
            where = f'{f}:{number}: includes {target}'
            if top == 'core':
                if target_top != 'core':
                    findings.append(f'{where}: core/ includes only core/')
                else:
                    own, other = f.split('/')[1], target.split('/')[1]
                    if own in core_order and other in core_order and \
                            core_order.index(other) > core_order.index(own):
                        findings.append(f'{where}: core/{own} is below core/{other}')
            elif top in front_ends and target_top in front_ends and target_top != top:
                findings.append(f'{where}: front ends do not include each other')
            elif top in front_ends and target_top not in ('core', top):
                findings.append(f'{where}: {top}/ includes only core/ and {top}/')
            if os.path.exists(target) and unit(target) != unit(f):
                graph.setdefault(unit(f), set()).add(unit(target))

# Circles: depth-first search over the unit graph.
state = {}
def visit(node, stack):
    state[node] = 1
    stack.append(node)
    for nxt in sorted(graph.get(node, ())):
        if state.get(nxt) == 1:
            cycle = stack[stack.index(nxt):] + [nxt]
            findings.append('include circle: ' + ' -> '.join(cycle))
        elif nxt not in state:
            visit(nxt, stack)
    stack.pop()
    state[node] = 2
for node in sorted(graph):
    if node not in state:
        visit(node, [])

for line in findings:
    print('check_layers: ' + line)
sys.exit(1 if findings else 0)
PY
