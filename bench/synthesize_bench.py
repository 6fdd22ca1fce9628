#!/usr/bin/env python3
"""Path following on the shared takes: `duolo-mg synthesize` along an L (4 m, a right-angle turn,
4 m; both ways round: first leg along the walking take's walking axis, then across it, and the
other way) and a circle of 2.5 m radius, from where the body stands at its first frame, with and
without --turn-travel. Prints synthesize's JSON for each (frames, path length, length reached,
mean and largest distance of the root from the path, search times).

  synthesize_bench.py DUOLO_MG SOURCE_DIR SHARED_DATA_DIR [--horizon FRAMES] [--blend K]
                      [--gaps G] [--threshold-fraction F] [--max-passes N]

Floor units are the scene's (decimetres for .mov files in centimetres): 4 m is 40. The walking
take's graphs are built with --gaps and --threshold-fraction (40 and 0.4: clips of about a third
of a second at 120 Hz); the dance take's with gaps 5 and 0.5, as transition_pops.py builds them."""
import argparse, json, math, os, subprocess, sys, tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from transition_pops import dance_recipe, make_project  # noqa: E402

PATHS = {
    'L, along then across': [[0, 0], [0, 40], [-40, 40]],
    'L, across then along': [[0, 0], [40, 0], [40, 40]],
    'circle r 2.5 m': [[25 - 25 * math.cos(2 * math.pi * k / 64), 25 * math.sin(2 * math.pi * k / 64)]
                       for k in range(65)],
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('mg')
    parser.add_argument('source')
    parser.add_argument('shared')
    parser.add_argument('--horizon', type=int, default=50)
    parser.add_argument('--blend', type=int, default=10)
    parser.add_argument('--max-passes', type=int, default=20000)
    parser.add_argument('--gaps', type=int, default=40)
    parser.add_argument('--threshold-fraction', type=float, default=0.4)
    args = parser.parse_args()
    shared = os.path.abspath(args.shared)
    with tempfile.TemporaryDirectory() as folder:
        takes = []
        walk = os.path.join(shared, 'hdm05_mm_locomotion')
        if os.path.isdir(walk):
            with open(os.path.join(args.source, 'resources', 'sample', 'sample-recipe.json')) as f:
                recipe = json.load(f)
            recipe['markers'] = [os.path.join(walk, os.path.basename(m)) for m in recipe['markers']]
            takes.append(('hdm05_mm_locomotion', make_project(args.mg, folder, 'walk', recipe),
                          ['--gaps', str(args.gaps), '--threshold-fraction', str(args.threshold_fraction)]))
        dance = os.path.join(shared, 'c3dorg_phoenix_dance')
        if os.path.isdir(dance):
            takes.append(('c3dorg_phoenix_dance', make_project(args.mg, folder, 'dance', dance_recipe(dance)),
                          ['--gaps', '5', '--threshold-fraction', '0.5']))
        if not takes:
            print('synthesize_bench: no shared takes; nothing measured')
            return
        for take, project, build in takes:
            subprocess.run([args.mg, 'build-graphs', project] + build + ['--prune'], capture_output=True, check=True)
            for turn in (False, True):
                for name, points in PATHS.items():
                    path = os.path.join(folder, 'path.json')
                    with open(path, 'w') as f:
                        json.dump({'points': points}, f)
                    command = [args.mg, 'synthesize', project, '--saved-graphs', '--group', '0', '--path', path,
                               '--blend', str(args.blend), '--horizon', str(args.horizon), '--max-passes',
                               str(args.max_passes), '--out', os.path.join(folder, 'out.trc')]
                    result = subprocess.run(command + (['--turn-travel'] if turn else []), capture_output=True,
                                            text=True)
                    if result.returncode != 0:
                        sys.exit('synthesize_bench: ' + result.stderr)
                    line = json.loads(result.stdout)
                    line.update({'take': take, 'path': name, 'horizon': args.horizon, 'build': ' '.join(build)})
                    print(json.dumps(line), flush=True)


if __name__ == '__main__':
    main()
