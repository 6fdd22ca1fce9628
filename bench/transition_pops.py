#!/usr/bin/env python3
"""Jumps at transitions, measured from outside: runs `duolo-mg play --out` and, from the trace and
the TRC rows, takes for every body and pass the largest joint displacement since the pass before
(a "pass displacement"). Passes that show a new clip (or a reset) are "at transitions", the rest
"inside clips"; the ratio of their 95th percentiles says how visible the jumps are. With --prune
it also counts the resets of a long run.

  transition_pops.py DUOLO_MG SOURCE_DIR SHARED_DATA_DIR [--passes N] [--prune-passes N]

Takes: the sample (one body), the shared walking take (one body, every frame) and the shared dance
take as two bodies (the second riding on the first); those two are left out when missing."""
import argparse, json, math, os, subprocess, sys, tempfile


def read_trc(path):
    with open(path) as f:
        lines = f.read().split('\n')
    names = lines[3].split('\t')[2::3]
    rows = []
    for line in lines[6:]:
        if line.strip():
            values = [float(v) for v in line.split('\t')[2:]]
            rows.append([values[3 * k:3 * k + 3] for k in range(len(values) // 3)])
    return names, rows


def percentile(values, q):
    if not values:
        return float('nan')
    s = sorted(values)
    return s[min(len(s) - 1, int(math.ceil(q * len(s))) - 1)]


def play(mg, project, build, seed, passes, extra, out=None):
    command = [mg, 'play', project] + build + ['--seed', str(seed), '--passes', str(passes)] + extra
    if out:
        command += ['--out', out]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit('transition_pops: %s failed: %s' % (' '.join(command), result.stderr))
    return json.loads(result.stdout), result.stderr


def measure(mg, project, build, seed, passes, blend, prune, blend_window):
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, 'out.trc')
        extra = ['--blend', str(blend)] + (['--prune'] if prune else [])
        trace, _ = play(mg, project, build, seed, passes, extra, out)
        names, rows = read_trc(out)
    # Row p shows the state the trace gives after pass p - 1 (row 0: the start).
    groups = [int(n.split('_')[0][5:]) for n in names]
    bodies = sorted(set(groups))
    columns = {g: [k for k, h in enumerate(groups) if h == g] for g in bodies}
    states = [None] + trace['trace']
    at, inside, window = [], [], []
    since = {g: 10 ** 9 for g in bodies}
    for p in range(1, len(rows)):
        for slot, g in enumerate(bodies):
            moved = max(math.dist(rows[p][k], rows[p - 1][k]) for k in columns[g])
            now, before = states[p][slot], states[p - 1][slot] if states[p - 1] else None
            if before is None:
                continue
            followsOn = now[0] == before[0] and now[1] == before[1] + 1
            if not followsOn:
                at.append(moved)
                since[g] = 0
            else:
                since[g] += 1
                inside.append(moved)
                if since[g] < blend_window:
                    window.append(moved)
    return {'transitions': len(at), 'p95At': percentile(at, 0.95), 'p95Inside': percentile(inside, 0.95),
            'ratio95': percentile(at, 0.95) / percentile(inside, 0.95), 'p99At': percentile(at, 0.99),
            'p95BlendWindow': percentile(window, 0.95), 'resets': trace['resets']}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('mg')
    parser.add_argument('source')
    parser.add_argument('shared')
    parser.add_argument('--passes', type=int, default=3000)
    parser.add_argument('--prune-passes', type=int, default=100000)
    args = parser.parse_args()
    args.shared = os.path.abspath(args.shared)
    with tempfile.TemporaryDirectory() as folder:
        takes = [('sample', os.path.join(args.source, 'resources', 'sample', 'sample.dwz'),
                  ['--gaps', '10', '--threshold', '150'])]
        with open(os.path.join(args.source, 'resources', 'sample', 'sample-recipe.json')) as f:
            recipe = json.load(f)
        walk = os.path.join(args.shared, 'hdm05_mm_locomotion')
        if os.path.isdir(walk):
            recipe['markers'] = [os.path.join(walk, os.path.basename(m)) for m in recipe['markers']]
            takes.append(('hdm05_mm_locomotion', make_project(args.mg, folder, 'walk', recipe),
                          ['--gaps', '10', '--threshold-fraction', '0.3']))
        dance = os.path.join(args.shared, 'c3dorg_phoenix_dance')
        if os.path.isdir(dance):
            takes.append(('c3dorg_phoenix_dance, two bodies', make_project(args.mg, folder, 'dance', dance_recipe(dance)),
                          ['--gaps', '5', '--threshold-fraction', '0.5']))
        report = []
        for name, project, build in takes:
            for blend, prune in [(0, False), (10, False), (0, True), (10, True)]:
                m = measure(args.mg, project, build, 7, args.passes, blend, prune, 10)
                m.update({'take': name, 'blend': blend, 'prune': prune})
                report.append(m)
                print(json.dumps(m), flush=True)
            if args.prune_passes:
                trace, messages = play(args.mg, project, build, 11, args.prune_passes, ['--prune'])
                line = {'take': name, 'prune': True, 'passes': args.prune_passes, 'resets': trace['resets'],
                        'kept': messages.strip().split('\n')}
                print(json.dumps(line), flush=True)


def make_project(mg, folder, name, recipe):
    path = os.path.join(folder, name + '.json')
    with open(path, 'w') as f:
        json.dump(recipe, f)
    project = os.path.join(folder, name + '.dwz')
    subprocess.run([mg, 'make-project', path, project], capture_output=True, check=True)
    return project


def dance_recipe(folder):
    """Two whole-body groups of the dance take, feet as colliders, the second on another head marker
    (so it stands beside its parent, the first)."""
    with open(os.path.join(folder, 'info.json')) as f:
        labels = json.load(f)['labels']
    body = list(range(0, 42))
    steps = [{'op': 'centroid', 'markers': list(range(18, 26))}, {'op': 'centroid', 'markers': [0, 1, 2, 3]}]
    for g in range(2):
        steps += [{'op': 'group', 'markers': body}, {'op': 'heading', 'group': g, 'a': 1 if g == 1 else 0, 'b': 2},
                  {'op': 'up', 'group': g, 'a': 40, 'b': 41}]
        if g == 0:
            steps += [{'op': 'collider', 'markers': [18, 19, 20, 21]}, {'op': 'collider', 'markers': [22, 23, 24, 25]}]
    return {'markers': [os.path.join(folder, l + '.mov') for l in labels], 'steps': steps}


if __name__ == '__main__':
    main()
