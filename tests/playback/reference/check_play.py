#!/usr/bin/env python3
"""Compares `duolo-mg play` pass by pass with play_reference.py on the sample project and, when
the shared takes are there, on two- and three-body projects made from the dance take, under
tight rotation limits and balance tolerances (rejections, waived choices and resets).
  check_play.py DUOLO_MG PLAY_INPUTS_DUMP SOURCE_DIR SHARED_DATA_DIR
Exit 0 when every trace matches, 1 on a difference."""
import json, os, subprocess, sys, tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import play_reference

MG, DUMP, SOURCE, SHARED = sys.argv[1:5]
PASSES = 1500
failures = 0


def dance_recipe(groups):
    """Groups 0 and 1 are the whole body with its feet as colliders; group 2 the upper body only
    (no contacts). Group 1 is rooted on another head marker (so its first-frame displacement from
    its parent, group 0, is not zero) and faces about 22 degrees away from the others."""
    folder = os.path.join(SHARED, 'c3dorg_phoenix_dance')
    with open(os.path.join(folder, 'info.json')) as f:
        labels = json.load(f)['labels']
    body = list(range(0, 42))
    steps = [{'op': 'centroid', 'markers': list(range(18, 26))}, {'op': 'centroid', 'markers': [0, 1, 2, 3]}]
    for g, members in enumerate([body, body, list(range(0, 18)) + [40, 41]][:groups]):
        steps += [{'op': 'group', 'markers': members}, {'op': 'heading', 'group': g, 'a': 1 if g == 1 else 0, 'b': 2},
                  {'op': 'up', 'group': g, 'a': 40, 'b': 41}]
        if g == 0:
            steps += [{'op': 'collider', 'markers': [18, 19, 20, 21]}, {'op': 'collider', 'markers': [22, 23, 24, 25]}]
    return {'markers': [os.path.join(folder, l + '.mov') for l in labels], 'steps': steps}


def compare(project, gaps, mode, value, seed, rotation=None, tolerance=None):
    global failures
    dump = json.loads(subprocess.run([DUMP, project, str(gaps), mode, str(value)], capture_output=True,
                                     text=True, check=True).stdout)
    expected = play_reference.play(dump, seed, PASSES, rotation, tolerance)
    command = [MG, 'play', project, '--gaps', str(gaps), '--threshold' if mode == 'T' else '--threshold-fraction',
               str(value), '--seed=%d' % seed, '--passes', str(PASSES)]
    if rotation is not None:
        command += ['--rotation-limit', str(rotation)]
    if tolerance is not None:
        command += ['--balance-tolerance', str(tolerance)]
    actual = json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)
    name = ' '.join(command[2:])
    problems = []
    if actual['seed'] != seed or actual['passes'] != PASSES:
        problems.append('seed or passes echoed as %s, %s' % (actual['seed'], actual['passes']))
    for g, (built, shown) in enumerate(zip(dump['groups'], actual['groups'])):
        if (shown['group'], shown['threshold'], shown['nodes'], shown['edges'], shown['maxFrameDistance']) != \
                (g, built['threshold'], len(built['nodes']), built['edges'], built['max']):
            problems.append('group %d summary %s' % (g, shown))
    if actual['resets'] != expected['resets']:
        problems.append('resets %d, expected %d' % (actual['resets'], expected['resets']))
    for p, (want, got) in enumerate(zip(expected['trace'], actual['trace'])):
        same = len(want) == len(got) and all(
            w[0:2] == g[0:2] and w[8] == g[8] and all(abs(a - b) <= 1e-9 * max(1.0, abs(a)) for a, b in zip(w[2:8], g[2:8]))
            for w, g in zip(want, got))
        if not same:
            problems.append('pass %d: expected %s, got %s' % (p, want, got))
            break
    if len(actual['trace']) != PASSES:
        problems.append('%d passes traced' % len(actual['trace']))
    print(('FAIL ' if problems else 'ok   ') + name + ' (resets %d)' % expected['resets'])
    for line in problems:
        print('     ' + line)
    failures += bool(problems)


sample = os.path.join(SOURCE, 'resources', 'sample', 'sample.dwz')
for seed, rotation, tolerance in [(7, None, None), (4294967303, 30, 3), (-5, 0, 0)]:
    compare(sample, 10, 'T', 150, seed, rotation, tolerance)

if os.path.isdir(os.path.join(SHARED, 'c3dorg_phoenix_dance')):
    with tempfile.TemporaryDirectory() as folder:
        for groups in (2, 3):
            recipe = os.path.join(folder, 'dance%d.json' % groups)
            project = os.path.join(folder, 'dance%d.dwz' % groups)
            with open(recipe, 'w') as f:
                json.dump(dance_recipe(groups), f)
            subprocess.run([MG, 'make-project', recipe, project], capture_output=True, check=True)
            for seed, rotation, tolerance in [(7, None, None), (99, 30, None), (2024, None, 2), (-5, 45, 2), (7, 0, 0)]:
                compare(project, 5, 'F', 0.5, seed, rotation, tolerance)
        compare(project, 1, 'F', 0.6, 12345, 30, 3)  # many one-frame clips: higher groups on their last frame
else:
    print('no shared takes: multi-body checks skipped')

sys.exit(1 if failures else 0)
