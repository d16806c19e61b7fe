#!/usr/bin/env python3
import os, re, sys
root = sys.argv[1] if len(sys.argv) > 1 else '.'
rank = {'platform': 0, 'service': 1, 'settings': 1, 'analysis': 2, 'saved': 3, 'i18n': 2, 'skin': 3, 'inet': 3, 'views': 4, 'dialogs': 4, 'app': 5}
checked = ('analysis', 'saved', 'platform', 'service', 'i18n', 'settings')
bad = []
for own in checked:
    for dp, _, files in os.walk(os.path.join(root, own)):
        for f in files:
            if not f.endswith(('.cpp', '.h')): continue
            p = os.path.join(dp, f)
            for line in open(p, errors='replace'):
                m = re.match(r'\s*#include\s+"([^"]+)"', line)
                if not m or m.group(1) == 'analysis/UndelDLL.h': continue
                top = m.group(1).split('/')[0]
                if top in rank and top != own and rank[top] >= rank[own]:
                    bad.append(f'{os.path.relpath(p, root)} -> {m.group(1)}')
for b in sorted(bad): print(b)
print(len(bad), 'upward includes')
sys.exit(1 if bad else 0)
