#!/usr/bin/env bash
# Prints which src/ folders include which, and fails on a cycle between them or on an
# include of a folder that the including library does not link in its CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 - <<'PY'
import os, re, sys
root = 'src'
folders = sorted(d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d)))
lib = {f: 'trx_' + f for f in folders}
def folder_of(path):
    rel = os.path.relpath(path, root)
    return rel.split('/')[0]
edges = {f: set() for f in folders}
inc = re.compile(r'#include "([^"]+)"')
for d, _, files in os.walk(root):
    for name in files:
        if not name.endswith(('.hpp', '.cpp')):
            continue
        path = os.path.join(d, name)
        me = folder_of(path)
        for target in inc.findall(open(path, encoding='utf-8').read()):
            t = target.split('/')[0]
            if t in edges and t != me:
                edges[me].add(t)
# Cycles: depth-first search.
state, stack, bad = {}, [], []
def visit(n):
    state[n] = 1; stack.append(n)
    for m in sorted(edges[n]):
        if state.get(m) == 1:
            bad.append(stack[stack.index(m):] + [m])
        elif m not in state:
            visit(m)
    stack.pop(); state[n] = 2
for f in folders:
    if f not in state:
        visit(f)
# Each library links what its code includes (directly, in its own CMakeLists.txt).
missing = []
for f in folders:
    cm = os.path.join(root, f, 'CMakeLists.txt')
    text = open(cm, encoding='utf-8').read() if os.path.exists(cm) else ''
    for t in sorted(edges[f]):
        if lib[t] not in text:
            missing.append(f'{f} includes {t} but {cm} does not name {lib[t]}')
for f in folders:
    print(f'{f:10} -> {" ".join(sorted(edges[f])) or "-"}', flush=True)
for c in bad:
    print('cycle: ' + ' -> '.join(c), file=sys.stderr)
for m in missing:
    print(m, file=sys.stderr)
sys.exit(1 if bad or missing else 0)
PY
