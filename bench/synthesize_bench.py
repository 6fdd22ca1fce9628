#!/usr/bin/env python3
"""Path following on the shared walking take: `duolo-mg synthesize` along an L (4 m, a right-angle
turn, 4 m; both ways round: first leg along the take's walking axis, then across it, and the other
way) and a circle of 2.5 m radius, from where the body stands at its first frame. Prints
synthesize's JSON for each (frames, path length, length reached, mean and largest distance of the
root from the path, search times).

  synthesize_bench.py DUOLO_MG SOURCE_DIR SHARED_DATA_DIR [--horizon FRAMES] [--blend K]

Floor units are the scene's (decimetres for .mov files in centimetres): 4 m is 40."""
import argparse, json, math, os, subprocess, sys, tempfile


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('mg')
    parser.add_argument('source')
    parser.add_argument('shared')
    parser.add_argument('--horizon', type=int, default=50)
    parser.add_argument('--blend', type=int, default=10)
    parser.add_argument('--max-passes', type=int, default=20000)
    args = parser.parse_args()
    walk = os.path.join(os.path.abspath(args.shared), 'hdm05_mm_locomotion')
    if not os.path.isdir(walk):
        print('synthesize_bench: no shared walking take; nothing measured')
        return
    with open(os.path.join(args.source, 'resources', 'sample', 'sample-recipe.json')) as f:
        recipe = json.load(f)
    recipe['markers'] = [os.path.join(walk, os.path.basename(m)) for m in recipe['markers']]
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, 'walk.json'), 'w') as f:
            json.dump(recipe, f)
        project = os.path.join(folder, 'walk.dwz')
        subprocess.run([args.mg, 'make-project', os.path.join(folder, 'walk.json'), project], capture_output=True,
                       check=True)
        subprocess.run([args.mg, 'build-graphs', project, '--gaps', '10', '--threshold-fraction', '0.3', '--prune'],
                       capture_output=True, check=True)
        paths = {
            'L, along then across': [[0, 0], [0, 40], [-40, 40]],
            'L, across then along': [[0, 0], [40, 0], [40, 40]],
            'circle r 2.5 m': [[25 - 25 * math.cos(2 * math.pi * k / 64), 25 * math.sin(2 * math.pi * k / 64)]
                               for k in range(65)],
        }
        for name, points in paths.items():
            path = os.path.join(folder, 'path.json')
            with open(path, 'w') as f:
                json.dump({'points': points}, f)
            result = subprocess.run([args.mg, 'synthesize', project, '--saved-graphs', '--group', '0', '--path', path,
                                     '--blend', str(args.blend), '--horizon', str(args.horizon), '--max-passes',
                                     str(args.max_passes), '--out', os.path.join(folder, 'out.trc')],
                                    capture_output=True, text=True)
            if result.returncode != 0:
                sys.exit('synthesize_bench: ' + result.stderr)
            line = json.loads(result.stdout)
            line['path'] = name
            line['horizon'] = args.horizon
            print(json.dumps(line), flush=True)


if __name__ == '__main__':
    main()
