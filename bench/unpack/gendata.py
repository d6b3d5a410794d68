#!/usr/bin/env python3
"""Writes a deterministic tree of mixed files for the unpack benchmark.

gendata.py <folder> [--seed N] [--megabytes M]

About half the bytes are word text (compresses about 3:1), a fifth are
repeated binary blocks with noise (about 2:1) and the rest random bytes
(incompressible), in files from a few hundred bytes to 8 MB spread over
nested folders. The same seed gives the same names, bytes and times.
"""
import argparse
import os
import random
import shutil

FIXED_TIME = 1577934245  # 2020-01-02 03:04:05 UTC
SHARES = {"text": 0.5, "blocks": 0.2, "random": 0.3}


def words(rng, count):
    letters = "abcdefghijklmnopqrstuvwxyz"
    return ["".join(rng.choice(letters) for _ in range(rng.randint(2, 11))) for _ in range(count)]


def text_bytes(rng, vocab, size):
    out = []
    total = 0
    while total < size:
        line = " ".join(rng.choices(vocab, k=rng.randint(6, 16))) + "\n"
        out.append(line)
        total += len(line)
    return "".join(out).encode()[:size]


def block_bytes(rng, size):
    pool = [rng.randbytes(rng.randint(16, 512)) for _ in range(48)]
    out = []
    total = 0
    while total < size:
        piece = rng.choice(pool) if rng.random() < 0.7 else rng.randbytes(rng.randint(8, 96))
        out.append(piece)
        total += len(piece)
    return b"".join(out)[:size]


def file_size(rng):
    r = rng.random()
    if r < 0.85:
        return rng.randint(200, 32 * 1024)
    if r < 0.98:
        return rng.randint(32 * 1024, 512 * 1024)
    return rng.randint(2 * 1024 * 1024, 8 * 1024 * 1024)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("folder")
    ap.add_argument("--seed", type=int, default=20240601)
    ap.add_argument("--megabytes", type=float, default=150)
    args = ap.parse_args()

    rng = random.Random(args.seed)
    vocab = words(rng, 6000)
    target = int(args.megabytes * 1000 * 1000)

    shutil.rmtree(args.folder, ignore_errors=True)
    folders = [""]
    for i in range(70):
        parent = rng.choice(folders) if len(folders) < 8 or rng.random() < 0.6 else ""
        if parent.count("/") >= 3:
            parent = ""
        folders.append((parent + "/" if parent else "") + "%s_%02d" % (rng.choice(vocab), i))
    for f in folders:
        os.makedirs(os.path.join(args.folder, f), exist_ok=True)

    total = 0
    count = 0
    kinds = {"text": 0, "blocks": 0, "random": 0}
    while total < target:
        size = min(file_size(rng), target - total)
        # The kind furthest below its share of the bytes so far.
        kind = max(SHARES, key=lambda k: SHARES[k] * (total + size) - kinds[k])
        if kind == "text":
            ext, data = ".txt", text_bytes(rng, vocab, size)
        elif kind == "blocks":
            ext, data = ".dat", block_bytes(rng, size)
        else:
            ext, data = ".bin", rng.randbytes(size)
        folder = rng.choice(folders)
        path = os.path.join(args.folder, folder, "%s_%05d%s" % (rng.choice(vocab), count, ext))
        with open(path, "wb") as out:
            out.write(data)
        os.utime(path, (FIXED_TIME, FIXED_TIME))
        total += size
        count += 1
        kinds[kind] += size
    print("gendata: %d files, %d folders, %.1f MB (text %.0f%%, blocks %.0f%%, random %.0f%%)" % (
        count, len(folders) - 1, total / 1e6,
        100.0 * kinds["text"] / total, 100.0 * kinds["blocks"] / total, 100.0 * kinds["random"] / total))


if __name__ == "__main__":
    main()
