#!/usr/bin/env python3
"""A second, independent implementation of ensemble playback, written from the rules that
`duolo-mg play` follows rather than from the engine's code, to check its traces. It replays from
what play_inputs_dump prints (each group's poses, parent and built graph) and gives the same
trace, resets and taps as `duolo-mg play` with the same seed, passes and constraints."""
import json, math, sys, argparse

CONTACT = 0.72
DEG = 57.29577951308232

class Rng:
    def __init__(self, seed): self.s = seed % (1 << 32)
    def next(self):
        self.s = (self.s * 214013 + 2531011) & 0xFFFFFFFF
        return (self.s >> 16) & 0x7FFF

class Node:
    __slots__ = ('id', 's', 'e', 'cf', 'inc')

class Group:
    pass

def rot(v, t):
    c, s = math.cos(t), math.sin(t)
    return (v[0] * c + v[2] * s, v[1], v[2] * c - v[0] * s)

def add(a, b): return (a[0] + b[0], a[1] + b[1], a[2] + b[2])
def sub(a, b): return (a[0] - b[0], a[1] - b[1], a[2] - b[2])
def mul(k, a): return (k * a[0], k * a[1], k * a[2])

class Player:
    def __init__(self, dump, seed, rot_on, rot_limit, bal_on, tol):
        self.rng = Rng(seed)
        self.rot_on, self.rot_limit, self.bal_on, self.tol = rot_on, rot_limit, bal_on, tol
        self.resets = 0
        self.groups = []
        for gi, gd in enumerate(dump['groups']):
            g = Group()
            g.num = gi
            g.parent_num = gd['parent']
            g.mc = gd['memberCount']
            g.frameCount = gd['frameCount']
            g.poses = gd['poses']
            for p in g.poses:
                p['o'] = tuple(p['o']); p['c'] = tuple(p['c']); p['h'] = tuple(p['h'])
                if p['s'] is not None: p['s'] = tuple(p['s'])
            byid = {}
            g.unsel = []
            for nd in gd['nodes']:
                n = Node(); n.id = nd['id']; n.s = nd['s']; n.e = nd['e']; n.cf = n.s
                byid[n.id] = n; g.unsel.append(n)
            for nd in gd['nodes']:
                byid[nd['id']].inc = [(byid[a], byid[b]) for a, b in nd['inc']]
            g.sel = []
            g.cur = g.prev = (g.unsel[0] if g.unsel else None)
            g.po = (0.0, 0.0, 0.0)
            g.ro = (0.0, 0.0, 0.0)
            g.just_reset = False
            self.groups.append(g)
        for g in self.groups:
            g.parent = self.groups[g.parent_num] if g.parent_num >= 0 else None
        self.session_frames = dump['sessionFrames']

    # --- placement -----------------------------------------------------------------------
    def place(self, g, P, p):
        # A parent's pose is the one at its current frame when asked, whatever the window frame.
        r = P['o']
        t = g.ro[1]
        if g.parent is None:
            o = g.po
            return add(add(r, (o[0], 0.0, o[2])), rot(sub(p, r), t))
        Q = g.parent
        d = sub(g.poses[0]['o'], Q.poses[0]['o'])
        rQ = Q.poses[Q.cur.cf]['o']
        oQ = Q.po
        return add(add(rQ, (oQ[0], 0.0, oQ[2])), rot(add(sub(p, r), d), Q.ro[1] + t))

    def support_sum(self, g, P):
        S = P['s']; k = P['w']; r = P['o']; t = g.ro[1]
        if g.parent is None:
            o = g.po
            v = add(rot(sub(S, mul(k, r)), t), mul(k, add(r, o)))
        else:
            Q = g.parent
            d = sub(g.poses[0]['o'], Q.poses[0]['o'])
            rQ = Q.poses[Q.cur.cf]['o']
            v = add(rot(add(sub(S, mul(k, r)), mul(k, d)), Q.ro[1] + t), mul(k, add(rQ, Q.po)))
        return v[0], v[2]

    def heading_angle(self, PA, gA, PB, gB):
        ta = gA.ro[1] + (gA.parent.ro[1] if gA.parent is not None else 0.0)
        tb = gB.ro[1] + (gB.parent.ro[1] if gB.parent is not None else 0.0)
        a = rot(PA['h'], ta)
        b = rot(PB['h'], tb)
        dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2]
        if dot < -1.0 or dot > 1.0:
            return None
        return math.acos(dot) * DEG

    # --- constraints ---------------------------------------------------------------------
    def is_balanced(self, chooser, cand):
        # Lower-numbered groups have already advanced this pass (frame f + i), the chooser plays
        # its candidate (start + i), higher ones have not (f + i + 1, held at their clip's last
        # frame when they stand on it). The window starts from the session's frame count.
        n = self.session_frames
        ci = chooser.num
        for G in self.groups:
            if G.cur is None: continue
            N = G.cur; f = N.cf
            if G.num < ci: n = min(n, N.e - f)
            elif G is chooser: n = min(n, cand.e - cand.s)
            elif f < N.e: n = min(n, N.e - f - 1)
        total = sum(G.mc for G in self.groups if G.cur is not None)
        for i in range(n + 1):
            mx = my = mz = 0.0
            ax = az = 0.0
            c = 0.0
            for G in self.groups:
                if G.cur is None: continue
                N = G.cur; f = N.cf
                if G.num < ci: fr = f + i
                elif G is chooser: fr = cand.s + i
                else: fr = min(f + i + 1, N.e)
                P = G.poses[fr]
                w = self.place(G, P, P['c'])
                mx += G.mc * w[0]; my += G.mc * w[1]; mz += G.mc * w[2]
                if P['s'] is not None:
                    sx, sz = self.support_sum(G, P)
                    ax += sx; az += sz
                    c += P['w']
            M = (mx / total, my / total, mz / total)
            if c != 0.0:
                scx, scz = ax / c, az / c
                dx, dz = scx - M[0], scz - M[2]
                D = math.sqrt(dx * dx + dz * dz)
                if D > c * self.tol * 0.1:
                    return False
        return True

    def is_rejected(self, chooser, cand):
        L = cand.e - cand.s
        a = 0.0
        ci = chooser.num
        for G in self.groups:
            if G is chooser or G.cur is None: continue
            N = G.cur; f = N.cf
            if G.num < ci:
                for j in range(min(L, N.e - f) + 1):
                    h = self.heading_angle(G.poses[f + j], G, chooser.poses[cand.s + j], chooser)
                    if h is not None: a = max(a, h)
            elif f < N.e:
                for j in range(min(L, N.e - f - 1) + 1):
                    h = self.heading_angle(G.poses[f + j + 1], G, chooser.poses[cand.s + j], chooser)
                    if h is not None: a = max(a, h)
        balanced = self.is_balanced(chooser, cand)
        rot_ok = a <= self.rot_limit
        return (self.bal_on and not balanced) or (self.rot_on and not rot_ok)

    # --- graph walking -------------------------------------------------------------------
    def deselect_all(self, g):
        g.unsel.extend(g.sel); g.sel = []

    def choose(self, g):
        # Just after a reset, a group whose every successor is rejected takes them all anyway
        # (else it would reset into the same state for ever); its next choice clears the mark.
        cur = g.cur
        cands = []; outs = []
        for (fr, to) in cur.inc:
            if fr.id == cur.id:
                outs.append(to)
                if not self.is_rejected(g, to):
                    cands.append(to)
        if not cands and g.just_reset and outs:
            cands = outs
        if cands:
            r = self.rng.next()
            g.just_reset = False
            return cands[r % len(cands)]
        return self.restart(g)

    def restart(self, caller):
        self.resets += 1
        result = None
        for G in self.groups:
            if G.cur is None: continue
            G.po = (0.0, 0.0, 0.0); G.ro = (0.0, 0.0, 0.0)
            self.deselect_all(G)
            G.cur.cf = G.cur.s
            if G.cur.s != 0:
                found = None
                for n in G.unsel:
                    if n.s == 0: found = n; break
                G.cur = found if found is not None else G.unsel[0]
            if G is caller: result = G.cur
            G.just_reset = True
        return result

    def align(self, g, fr, to):
        A = g.poses[fr.e]; B = g.poses[to.s]
        g.po = (g.po[0] + (A['o'][0] - B['o'][0]), g.po[1] + (A['o'][1] - B['o'][1]), g.po[2] + (A['o'][2] - B['o'][2]))
        g.ro = (g.ro[0] + (B['a'][0] - A['a'][0]), g.ro[1] + (B['a'][1] - A['a'][1]), g.ro[2] + (B['a'][2] - A['a'][2]))

    def advance(self, g):
        n = g.cur
        n.cf += 1
        if n.cf <= n.e: return
        n.cf = n.s
        nxt = self.choose(g)
        self.align(g, g.cur, nxt)
        g.prev = g.cur
        g.cur = nxt
        nxt.cf = nxt.s

    def taps(self, g):
        cur = g.cur
        P = g.poses[cur.cf]
        pi = cur.cf - 1 if cur.cf != cur.s else g.prev.e
        Pp = g.poses[pi]
        count = 0
        for cs, csp in zip(P['cs'], Pp['cs']):
            if any(hp > CONTACT and h <= CONTACT for h, hp in zip(cs, csp)):
                count += 1
        return count

    def one_pass(self):
        # Each pass selects every group's current node, which moves it to the tail of the
        # unselected list at the next deselection: the reset walk sees that order.
        for g in self.groups:
            if g.cur is None: continue
            self.deselect_all(g)
            g.unsel.remove(g.cur)
            g.sel.append(g.cur)
        taps = []
        for g in self.groups:
            if g.cur is None: taps.append(0); continue
            taps.append(self.taps(g))
            self.advance(g)
        return [[g.cur.id, g.cur.cf, *g.po, *g.ro, t] for g, t in zip(self.groups, taps)]

def play(dump, seed, passes, rotation_limit=None, balance_tolerance=None):
    """The `seed`, `passes`, `trace` and `resets` of `duolo-mg play` for these inputs."""
    pl = Player(dump, seed, rotation_limit is not None, 60 if rotation_limit is None else rotation_limit,
                balance_tolerance is not None, 10.0 if balance_tolerance is None else balance_tolerance)
    trace = [pl.one_pass() for _ in range(passes)]
    return {'seed': seed, 'passes': passes, 'trace': trace, 'resets': pl.resets}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('dump'); ap.add_argument('--seed', type=int, required=True)
    ap.add_argument('--passes', type=int, required=True)
    ap.add_argument('--rotation-limit', type=int); ap.add_argument('--balance-tolerance', type=float)
    a = ap.parse_args()
    with open(a.dump) as f:
        dump = json.load(f)
    json.dump(play(dump, a.seed, a.passes, a.rotation_limit, a.balance_tolerance), sys.stdout)

if __name__ == '__main__':
    main()
