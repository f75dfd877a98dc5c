#!/usr/bin/python3
"""Writes the small scan files of tst_hdf5scan with h5py, another writer than the test's own.

Run with Debian's python3 (python3-h5py): /usr/bin/python3 make_scan_fixtures.py
Every pixel of frame `index` of a kind (0 projection, 1 flat, 2 dark) is
kind * 10000 + index * 100 + y * 10 + x, counted within its kind.
"""
import h5py
import numpy as np

W, H = 12, 9


def frame(kind, index):
    y, x = np.mgrid[0:H, 0:W]
    return kind * 10000 + index * 100 + y * 10 + x


def nxtomo(path):
    # Darks and flats first, an invalid frame among the projections, a flat at the end.
    keys = [2, 2, 1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 1]
    counts = [0, 0, 0, 0]
    frames, angles = [], []
    for k in keys:
        frames.append(frame(min(k, 2), counts[k]) if k < 3 else np.full((H, W), 65535))
        angles.append(18.0 * counts[0] if k == 0 else 0.0)
        counts[k] += 1
    with h5py.File(path, "w") as f:
        entry = f.create_group("entry")
        entry.attrs["NX_class"] = np.string_("NXentry")
        entry.attrs["definition"] = np.string_("NXtomo")
        det = f.create_group("entry/instrument/detector")
        det.create_dataset("data", data=np.array(frames, dtype="<u2"), chunks=(1, H, W),
                           compression="gzip", compression_opts=4)
        det.create_dataset("image_key", data=np.array(keys, dtype="i1"))
        sample = f.create_group("entry/sample")
        rot = sample.create_dataset("rotation_angle", data=np.array(angles, dtype="f8"))
        rot.attrs["units"] = np.string_("degree")  # fixed-length
        f["entry/data/data"] = det["data"]  # the NXdata link


def dxchange(path):
    with h5py.File(path, "w") as f:
        ex = f.create_group("exchange")
        ex.create_dataset("data", data=np.array([frame(0, i) for i in range(8)], dtype="<f4"))
        ex.create_dataset("data_white", data=np.array([frame(1, i) for i in range(2)], dtype=">u2"))
        ex.create_dataset("data_dark", data=np.array([frame(2, 0)], dtype="<u4"))
        theta = ex.create_dataset("theta", data=np.radians(np.arange(8) * 22.5))
        theta.attrs["units"] = "rad"  # variable-length


nxtomo("nxtomo_h5py.nxs")
dxchange("dxchange_h5py.h5")
