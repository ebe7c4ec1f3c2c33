#!/usr/bin/env python3
"""Writes the posterior benchmark's studies (synthetic, fixed seed) into this folder:
wolves/ (3 sources, 2 tracers, 66 consumers in 3 packs), geese/ (4 sources with
concentrations, 2 tracers, 251 consumers in 8 groups) and seven/ (7 sources, 2 tracers, one
group of 50 consumers)."""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, rows):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    with open(os.path.join(HERE, folder, name), 'w', newline='') as f:
        f.write('\n'.join(','.join(str(c) for c in row) for row in rows) + '\n')


def study(folder, sources, groups, factor, conc=None, seed=1):
    rng = random.Random(seed)
    header = ['Source', 'Meand13C', 'SDd13C', 'Meand15N', 'SDd15N']
    if conc:
        header += ['Concd13C', 'Concd15N']
    header.append('n')
    rows = [header]
    for i, (label, m13, s13, m15, s15) in enumerate(sources):
        row = [label, m13, s13, m15, s15]
        if conc:
            row += list(conc[i])
        rows.append(row + [20])
    write(folder, 'sources.csv', rows)
    write(folder, 'discrimination.csv',
          [['Source', 'Meand13C', 'SDd13C', 'Meand15N', 'SDd15N']] +
          [[s[0], 0.8, 0.4, 3.2, 0.6] for s in sources])
    consumers = [['d13C', 'd15N', factor]]
    for name, count, diet in groups:
        for _ in range(count):
            weights = [rng.gammavariate(30 * d, 1) for d in diet]
            total = sum(weights)
            p = [w / total for w in weights]
            c13 = [c[0] for c in conc] if conc else [1] * len(sources)
            c15 = [c[1] for c in conc] if conc else [1] * len(sources)
            m13 = sum(pi * ci * s[1] for pi, ci, s in zip(p, c13, sources)) / sum(
                pi * ci for pi, ci in zip(p, c13))
            m15 = sum(pi * ci * s[3] for pi, ci, s in zip(p, c15, sources)) / sum(
                pi * ci for pi, ci in zip(p, c15))
            consumers.append(['%.2f' % (m13 + 0.8 + rng.gauss(0, 0.6)),
                              '%.2f' % (m15 + 3.2 + rng.gauss(0, 0.7)), name])
    write(folder, 'consumers.csv', consumers)


study('wolves', [('Deer', -27.0, 0.9, 4.5, 0.8), ('Salmon', -19.5, 1.1, 12.8, 1.0),
                 ('Seals', -15.8, 0.8, 16.5, 1.2)],
      [('Pack1', 22, [0.6, 0.3, 0.1]), ('Pack2', 22, [0.3, 0.5, 0.2]),
       ('Pack3', 22, [0.2, 0.3, 0.5])], 'Pack')
study('geese', [('Zostera', -10.5, 1.0, 6.5, 1.1), ('Grass', -29.8, 1.2, 3.0, 0.9),
                ('Ulva', -16.0, 1.4, 9.8, 1.0), ('Enteromorpha', -20.2, 1.1, 8.1, 1.2)],
      [('G%d' % g, 31 if g < 7 else 34, d) for g, d in enumerate(
          [[0.5, 0.2, 0.2, 0.1], [0.4, 0.3, 0.2, 0.1], [0.3, 0.4, 0.2, 0.1],
           [0.2, 0.5, 0.2, 0.1], [0.1, 0.6, 0.2, 0.1], [0.25, 0.25, 0.25, 0.25],
           [0.1, 0.2, 0.4, 0.3], [0.6, 0.1, 0.1, 0.2]])], 'Time',
      conc=[(0.35, 0.025), (0.42, 0.031), (0.30, 0.020), (0.28, 0.022)])
study('seven', [('A', -30.0, 1.0, 2.0, 0.8), ('B', -26.0, 1.0, 6.0, 0.8),
                ('C', -22.0, 1.0, 10.0, 0.8), ('D', -18.0, 1.0, 4.0, 0.8),
                ('E', -14.0, 1.0, 14.0, 0.8), ('F', -24.0, 1.0, 16.0, 0.8),
                ('G', -12.0, 1.0, 8.0, 0.8)],
      [('All', 50, [0.25, 0.2, 0.15, 0.1, 0.1, 0.1, 0.1])], 'Site')
