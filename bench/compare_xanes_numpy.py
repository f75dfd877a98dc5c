#!/usr/bin/python3
"""quorvel-xanes against a plain vectorised numpy implementation of the same steps, on the same files.

bench_xanes writes DIR/aligned.h5 (50 energies across the iron K edge, 64 slices of 512 x 512 by
default) and three standards DIR/s0.txt, s1.txt, s2.txt once. Then, on one thread each:
- quorvel-xanes makes every map with --threads 1 (reading aligned.h5, writing the TIFF stacks,
  maps.h5 and the pictures; the best of a few runs, wall time);
- numpy does the same steps slab by slab (h5py reads, OMP/OPENBLAS/MKL_NUM_THREADS=1): the pre-edge
  noise of every voxel for the mask's threshold (a first pass over the pre-edge energies), the pre-
  and post-edge lines as weight vectors, the jump, the normalised spectrum, E0 at half height within
  the edge window, the white line's parabola, the non-negative fit of the three standards by the same
  enumeration of subsets, the R-factor; its maps stay in memory (nothing written, which favours it).
The two sets of maps are compared, to show that the steps are the same.
Not part of the test suite; run by hand: bench/compare_xanes_numpy.py DIR [BUILD_DIR] [--slices N]
Needs Debian's python3-numpy and python3-h5py (/usr/bin/python3). QV_KERNEL=avx2 in the environment
measures quorvel-xanes's AVX2 loops on an AVX-512 machine.
"""
import itertools
import os
import subprocess
import sys
import time

os.environ.update(OMP_NUM_THREADS="1", OPENBLAS_NUM_THREADS="1", MKL_NUM_THREADS="1")
import h5py  # noqa: E402
import numpy as np  # noqa: E402

args = [a for a in sys.argv[1:] if not a.startswith("--")]
if not args:
    sys.exit(__doc__)
data = args[0]
build = args[1] if len(args) > 1 else os.path.join(os.path.dirname(__file__), "..", "build")
slices = int(sys.argv[sys.argv.index("--slices") + 1]) if "--slices" in sys.argv else None
edge, window, pre, post, fit = 7112.0, 20.0, (-30.0, -10.0), 30.0, (-20.0, 40.0)
slack = 1e-6


def processor():
    model, vectors = "unknown", "no AVX2"
    with open("/proc/cpuinfo") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key.strip() == "model name" and model == "unknown":
                model = value.strip()
            elif key.strip() == "flags":
                flags = value.split()
                vectors = "AVX-512" if "avx512f" in flags else "AVX2" if "avx2" in flags else vectors
                break
    return "%s, %s" % (model, vectors)


def line_weights(t, sel):
    """Weights giving the least-squares line through (t_i, mu_i), i in sel, at t = 0 and its slope."""
    ts = t[sel]
    mean = ts.mean()
    s = (ts - mean) / ((ts - mean) ** 2).sum()
    at = np.zeros_like(t)
    slope = np.zeros_like(t)
    at[sel] = 1.0 / sel.sum() - mean * s
    slope[sel] = s
    return at.astype(np.float32), slope.astype(np.float32)


def standard(path):
    e, v = np.loadtxt(path, comments="#", unpack=True)
    return (e * 1000.0 if (e < 100).all() else e), v


def numpy_maps(path, standards):
    f = h5py.File(path, "r")
    d = f["/entry/data/data"]
    E = f["/entry/data/energy"][...]
    nz = d.shape[1] if slices is None else min(slices, d.shape[1])
    ny, nx = d.shape[2], d.shape[3]
    t = E - edge
    pre_sel = (t >= pre[0] - slack) & (t <= pre[1] + slack)
    post_sel = t >= post - slack
    win = (t >= -window - slack) & (t <= window + slack)
    fit_sel = (t >= fit[0] - slack) & (t <= fit[1] + slack)
    pa, pb = line_weights(t, pre_sel)
    qa, _ = line_weights(t, post_sel)
    wb, we = np.nonzero(win)[0][[0, -1]]
    we += 1
    fb, fe = np.nonzero(fit_sel)[0][[0, -1]]
    fe += 1
    A = np.array([np.interp(E[fb:fe], *standard(s)) for s in standards], np.float32)  # K x m
    K = len(standards)
    G = A.astype(np.float64) @ A.T.astype(np.float64)
    subsets = sorted((m for m in range(1, 1 << K)), key=lambda m: -bin(m).count("1")) + [0]
    solves = []
    for m in subsets:
        inside = [k for k in range(K) if m >> k & 1]
        outside = [k for k in range(K) if not m >> k & 1]
        solves.append((inside, outside, np.linalg.inv(G[np.ix_(inside, inside)]) if inside else None))
    step = 2
    # First pass: the pre-edge noise of every voxel.
    pi = np.nonzero(pre_sel)[0]
    noise = []
    for z in range(0, nz, step):
        X = d[pi[0]:pi[-1] + 1, z:min(nz, z + step)].reshape(len(pi), -1)
        a = pa[pi] @ X
        b = pb[pi] @ X
        r = X - a - b * t[pi, None].astype(np.float32)
        noise.append(np.sqrt((r * r).sum(0) / (len(pi) - 2)))
    noise = np.concatenate(noise)
    noise = noise[np.isfinite(noise) & (noise > 0)]
    min_jump = 5.0 * np.median(noise)
    # Second pass: the maps.
    maps = {k: np.empty((nz, ny, nx), np.float32) for k in ("jump", "e0", "wle", "wlh", "r", "mask")}
    maps["fractions"] = np.empty((K, nz, ny, nx), np.float32)
    t32 = t.astype(np.float32)
    nb, ne = max(0, wb - 1), min(len(E), we + 1)
    nb, ne = min(nb, fb), max(ne, fe)
    for z in range(0, nz, step):
        z1 = min(nz, z + step)
        X = d[:, z:z1].reshape(len(E), -1)
        a, b, c = pa @ X, pb @ X, qa @ X
        jump = c - a
        valid = np.isfinite(jump) & np.isfinite(b) & (jump > 0) & (jump >= min_jump)
        with np.errstate(divide="ignore", invalid="ignore"):
            norm = (X[nb:ne] - a - b * t32[nb:ne, None]) * (np.float32(1) / jump)
        # E0: the first rise through 0.5 within the window.
        j = np.arange(max(1, wb), min(len(E), we + 1))
        n0, n1 = norm[j - 1 - nb], norm[j - nb]
        with np.errstate(divide="ignore", invalid="ignore"):
            e = t32[j - 1, None] + (0.5 - n0) / (n1 - n0) * (t32[j] - t32[j - 1])[:, None]
        cross = (n0 < 0.5) & (n1 >= 0.5) & (e >= -window - slack) & (e <= window + slack)
        first = cross.argmax(0)
        e0 = np.where(cross.any(0), np.take_along_axis(e, first[None], 0)[0], np.nan) + edge
        # The white line: the parabola through the largest value and its neighbours.
        w = norm[wb - nb:we - nb]
        top = w.argmax(0) + wb
        cols = np.arange(w.shape[1])
        y1 = norm[top - nb, cols]
        lo, hi = np.maximum(top - 1, 0), np.minimum(top + 1, len(E) - 1)
        y0, y2 = norm[lo - nb, cols], norm[hi - nb, cols]
        d0, d2 = t32[lo] - t32[top], t32[hi] - t32[top]
        with np.errstate(divide="ignore", invalid="ignore"):
            s0, s2 = (y0 - y1) / d0, (y2 - y1) / d2
            q = (s0 - s2) / (d0 - d2)
            slope = s0 - q * d0
            tau = np.clip(np.where(q < 0, -slope / (2 * q), 0), d0, d2)
        wle = t32[top] + tau + edge
        wlh = np.where(q < 0, y1 + slope * tau + q * tau * tau, y1)
        # The non-negative fit by enumeration of the subsets, the largest first.
        y = norm[fb - nb:fe - nb]
        bb = (A @ y).astype(np.float64)
        x = np.full((K, y.shape[1]), np.nan)
        done = np.zeros(y.shape[1], bool)
        scale = 1 + np.abs(bb).sum(0)
        for inside, outside, inv in solves:
            xs = inv @ bb[inside] if inside else np.zeros((0, y.shape[1]))
            ok = ~done & (xs >= -1e-9).all(0)
            for o in outside:
                g = G[o, inside] @ xs - bb[o] if inside else -bb[o]
                ok &= g >= -1e-9 * scale
            x[:, ok] = 0
            for r, k in enumerate(inside):
                x[k, ok] = np.maximum(xs[r, ok], 0)
            done |= ok
            if done.all():
                break
        fitted = A.T @ x.astype(np.float32)
        r = ((y - fitted) ** 2).sum(0) / (y * y).sum(0)
        nan = np.float32(np.nan)
        for name, v in (("jump", jump), ("e0", e0), ("wle", wle), ("wlh", wlh), ("r", r)):
            maps[name][z:z1] = np.where(valid, v, nan).reshape(z1 - z, ny, nx)
        maps["fractions"][:, z:z1] = np.where(valid, x, nan).reshape(K, z1 - z, ny, nx)
        maps["mask"][z:z1] = valid.reshape(z1 - z, ny, nx)
    return maps, nz * ny * nx


def run_ours(path, out, standards):
    cmd = [os.path.join(build, "app", "quorvel-xanes"), path, "--out", out, "--edge", str(edge), "--threads", "1",
           "--standards", ",".join("s%d=%s" % (k, s) for k, s in enumerate(standards))]
    best = float("inf")
    for _ in range(3):
        t0 = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - t0)
    return best


def main():
    path = os.path.join(data, "aligned.h5")
    standards = [os.path.join(data, "s%d.txt" % k) for k in range(3)]
    print("processor:", processor())
    source = path
    if slices is not None:  # the first slices only, as an aligned file of their own
        source = os.path.join(data, "aligned-%d.h5" % slices)
        with h5py.File(path, "r") as f, h5py.File(source, "w") as g:
            g.create_dataset("/entry/data/data", data=f["/entry/data/data"][:, :slices], chunks=(1, 8, 64, 64))
            g["/entry/data/energy"] = f["/entry/data/energy"][...]
    ours = run_ours(source, os.path.join(data, "maps-compare"), standards)
    t0 = time.perf_counter()
    maps, voxels = numpy_maps(source, standards)
    numpy_seconds = time.perf_counter() - t0
    print("voxels: %d" % voxels)
    print("quorvel-xanes, one thread, reading aligned.h5 and writing every map: %.3g s" % ours)
    print("numpy, one thread, the same steps, maps kept in memory: %.3g s" % numpy_seconds)
    print("numpy / quorvel-xanes: %.3g" % (numpy_seconds / ours))
    with h5py.File(os.path.join(data, "maps-compare", "maps.h5"), "r") as f:
        m = f["/entry/maps"]
        same = m["mask"][...] == maps["mask"]
        print("voxels masked alike: %.6f" % same.mean())
        both = (m["mask"][...] == 1) & (maps["mask"] == 1)
        for ours_name, theirs in (("edge_jump", maps["jump"]), ("edge_energy", maps["e0"]),
                                  ("white_line_energy", maps["wle"]), ("fraction-s0", maps["fractions"][0]),
                                  ("fraction-s2", maps["fractions"][2]), ("r_factor", maps["r"])):
            diff = np.abs(m[ours_name][...][both] - theirs[both])
            print("difference of %s: largest %.3g, 99.99th percentile %.3g"
                  % (ours_name, np.nanmax(diff), np.nanpercentile(diff, 99.99)))
    if source != path:
        os.remove(source)


main()
