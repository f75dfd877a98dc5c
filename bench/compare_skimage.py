#!/usr/bin/python3
"""quorvel-recon end to end against scikit-image's iradon on the same slices.

A scan of the demo phantom, 360 projections over 180 degrees of 4 x 1027 pixels with the rotation
axis horizontal at 513 (slices are image columns; lines of 1027 give sinograms of 1025 samples and
slices of 1024 x 1024), is written once by bench_endtoend. Then:
- quorvel-recon reconstructs the 4 slices on one worker thread, from reading the projections to
  writing the data files and PNG images (the best of several runs, wall time), again on two, and
  on one in single precision (--single);
- scikit-image reconstructs the same 4 sinograms (the same I0/BG correction, computed here with
  numpy) with iradon, ramp filter, 1024 x 1024: only the iradon calls are timed, so the figure
  favours scikit-image.
Not part of the test suite; run by hand after building: bench/compare_skimage.py [BUILD_DIR]
Needs Debian's python3-skimage (/usr/bin/python3). QV_KERNEL=avx2 in the environment measures the AVX2
back-projection on an AVX-512 machine.
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from skimage.transform import iradon

build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build")
projections, slices, height, cor = 360, 4, 1027, 513
repeats = 5


def processor():
    """The processor's model and the widest vectors it has, as the benchmarks print them."""
    model, family, number, flags = "unknown", "", "", []
    with open("/proc/cpuinfo") as f:
        for line in f:
            key, _, value = line.partition(":")
            key, value = key.strip(), value.strip()
            if key == "model name" and model == "unknown":
                model = value
            elif key == "cpu family" and not family:
                family = value
            elif key == "model" and not number:
                number = value
            elif key == "flags" and not flags:
                flags = value.split()
    vectors = "AVX-512" if "avx512f" in flags else "AVX2" if "avx2" in flags else "no AVX2"
    return "%s (family %s model %s), %s" % (model, family, number, vectors)


def run_ours(threads, extra=()):
    """Best wall time of quorvel-recon on the 4 slices with `threads` workers."""
    best = float("inf")
    for r in range(repeats):
        out = os.path.join(work, "out%d-%d" % (threads, r))
        start = time.perf_counter()
        subprocess.run([os.path.join(build, "app", "quorvel-recon"), proj_dir, "--axis", "h", "--cor", str(cor),
                        "--i0", i0_file, "--bg", bg_file, "--slices", "0:%d" % (slices - 1), "--threads",
                        str(threads), "--out", out, *extra], check=True, stdout=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - start)
    return best


def read_itex(path):
    """The pixels of an ITEX file as float64 rows (16- or 32-bit, little-endian)."""
    with open(path, "rb") as f:
        data = f.read()
    comment = int.from_bytes(data[2:4], "little")
    width = int.from_bytes(data[4:6], "little")
    rows = int.from_bytes(data[6:8], "little")
    dtype = "<u2" if int.from_bytes(data[12:14], "little") == 2 else "<u4"
    pixels = np.frombuffer(data, dtype=dtype, count=width * rows, offset=64 + comment)
    return pixels.reshape(rows, width).astype(np.float64)


with tempfile.TemporaryDirectory() as work:
    subprocess.run([os.path.join(build, "bench", "bench_endtoend"), "--generate-only", "--dir", work,
                    "--width", str(slices), "--height", str(height), "--projections", str(projections)],
                   check=True, stdout=subprocess.DEVNULL)
    proj_dir = os.path.join(work, "p")
    i0_file, bg_file = os.path.join(work, "i0.img"), os.path.join(work, "bg.img")

    # quorvel-recon, data files and PNGs, on one worker thread and on two.
    best_ours = run_ours(1)
    best_two = run_ours(2)
    best_single = run_ours(1, ["--single"])

    # The same sinograms for scikit-image: with the axis on a whole pixel the grid samples pixels
    # cor - 512 ... cor + 512 as they are; attenuation ln((I0 - BG) / (I - BG)), differences that are
    # not positive read as 1.
    names = sorted(n for n in os.listdir(proj_dir) if n.endswith(".img"))
    images = np.stack([read_itex(os.path.join(proj_dir, n)) for n in names])  # (projections, height, slices)
    i0, bg = read_itex(i0_file), read_itex(bg_file)
    half = min(cor, height - cor - 1)
    grid = slice(cor - half + 1, cor + half)
    a = i0 - bg
    a[a <= 0] = 1
    b = images - bg
    b[b <= 0] = 1
    att = np.log(a / b)[:, grid, :]  # (projections, 2 half - 1, slices)
    theta = np.arange(projections) * 180.0 / projections
    best_skimage = float("inf")
    for r in range(3):
        start = time.perf_counter()
        for s in range(slices):
            iradon(att[:, :, s].T, theta=theta, filter_name="ramp", circle=True, output_size=2 * half - 2)
        best_skimage = min(best_skimage, time.perf_counter() - start)

print("processor: %s" % processor())
print("back-projection variant: %s" % os.environ.get("QV_KERNEL", "the widest the processor has"))
print("quorvel-recon, 4 slices of 1024 x 360, 1 thread, end to end: %.3f s" % best_ours)
print("quorvel-recon, the same, 2 threads: %.3f s" % best_two)
print("quorvel-recon --single, 1 thread: %.3f s" % best_single)
print("scikit-image iradon, the same 4 slices, reconstruction only: %.3f s" % best_skimage)
print("ratio, 1 thread: %.1f x" % (best_skimage / best_ours))
print("ratio, 2 threads: %.1f x" % (best_skimage / best_two))
print("ratio, single precision, 1 thread: %.1f x" % (best_skimage / best_single))
