#!/usr/bin/env python3
"""Copies a payload of real Windows binaries and text for the unpack benchmark.

realdata.py <folder> [--megabytes M]

Files every machine has after scripts/bootstrap.sh, so the size comparison
is not tuned to generated data: Wine's own PE libraries (64-bit, and 32-bit
when wine32 is installed), MinGW-w64's import libraries, MinGW-w64's headers
and the documentation of the packages the bootstrap installs (gzip'ed files
unpacked). Each source gets a fixed share of the size; within a source the
files are taken in sorted order while they fit, so the same packages give
the same payload. Times are fixed too, so the archives are reproducible.

Debian's Wine libraries carry DWARF debug information, which a shipped
Windows program never does (its symbols go to a PDB); it is a third of their
size and compresses unlike code. So they are copied without it, stripped
with MinGW-w64's `strip --strip-debug` and given back their own PE time
stamp and a fresh checksum, so the bytes are the same on every run;
--keep-debug copies them as they are.
"""
import argparse
import gzip
import os
import shutil
import struct
import subprocess
import sys
import tempfile

FIXED_TIME = 1577934245  # 2020-01-02 03:04:05 UTC

# Packages of scripts/bootstrap.sh (and their main dependencies) whose
# /usr/share/doc folder is read; others differ from machine to machine.
DOC_PACKAGES = [
    "7zip", "binutils-mingw-w64-x86-64", "clang-14", "cmake", "cmake-data", "fonts-wqy-microhei",
    "g++", "gcc-12-base", "gcc-mingw-w64-base", "googletest", "libfmt-dev", "libllvm14", "libspdlog-dev",
    "libwine", "librsvg2-bin", "llvm-14", "mingw-w64-common", "ninja-build", "python3.11", "wine",
    "wine64", "xserver-common", "xvfb", "zip",
]

STRIP = {"wine64": "x86_64-w64-mingw32-strip", "wine32": "i686-w64-mingw32-strip"}

# (folder in the payload, share of the size, source) in payload order.
SOURCES = [
    ("wine64", 0.45, "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"),
    ("wine32", 0.30, "/usr/lib/i386-linux-gnu/wine/i386-windows"),
    ("mingw-lib", 0.12, "/usr/x86_64-w64-mingw32/lib"),
    ("mingw-include", 0.10, "/usr/share/mingw-w64/include"),
    ("doc", 0.03, "/usr/share/doc"),
]


def listing(source, name):
    """(relative path, absolute path) of the source's files, sorted."""
    if not os.path.isdir(source):
        return []
    if name == "doc":
        roots = [os.path.join(source, p) for p in DOC_PACKAGES]
    else:
        roots = [source]
    out = []
    for root in roots:
        for dirpath, dirnames, filenames in os.walk(root):
            for f in filenames:
                path = os.path.join(dirpath, f)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                if name == "mingw-lib" and not f.endswith(".a"):
                    continue
                out.append((os.path.relpath(path, source), path))
    return sorted(out)


def pe_checksum(data, at):
    """The PE header checksum of data, whose checksum field is at `at`."""
    padded = data + b"\0" * (len(data) % 2)
    words = struct.unpack("<%dH" % (len(padded) // 2), padded)
    total = sum(words) - words[at // 2] - words[at // 2 + 1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def stripped(name, path, data):
    """The PE file without its debug information, or as it is if not PE."""
    if name not in STRIP or data[:2] != b"MZ" or len(data) < 0x40:
        return data
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return data
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out")
        try:
            subprocess.run([STRIP[name], "--strip-debug", "-o", out, path], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except (OSError, subprocess.CalledProcessError):
            return data
        with open(out, "rb") as f:
            result = bytearray(f.read())
    # strip writes the time of the run (and may move the PE header); the
    # original's time keeps runs equal.
    out_pe = struct.unpack_from("<I", result, 0x3C)[0]
    result[out_pe + 8:out_pe + 12] = data[pe + 8:pe + 12]
    checksum_at = out_pe + 24 + 64
    struct.pack_into("<I", result, checksum_at, pe_checksum(bytes(result), checksum_at))
    return bytes(result)


def content(name, path, keep_debug):
    if name == "doc" and path.endswith(".gz"):
        with gzip.open(path, "rb") as f:
            return f.read()
    with open(path, "rb") as f:
        data = f.read()
    return data if keep_debug else stripped(name, path, data)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("folder")
    ap.add_argument("--megabytes", type=float, default=400)
    ap.add_argument("--keep-debug", action="store_true", help="copy Wine's libraries with their DWARF data")
    args = ap.parse_args()
    target = int(args.megabytes * 1000 * 1000)

    shutil.rmtree(args.folder, ignore_errors=True)
    total_files = 0
    total = 0
    for name, share, source in SOURCES:
        files = listing(source, name)
        if not files:
            print("realdata: %s is missing; the payload leaves it out and differs from other machines'" % source,
                  file=sys.stderr)
            continue
        cap = int(target * share)
        taken = 0
        count = 0
        for rel, path in files:
            data = content(name, path, args.keep_debug)
            if taken + len(data) > cap:
                break
            if name == "doc" and rel.endswith(".gz"):
                rel = rel[:-3]
            dest = os.path.join(args.folder, name, rel)
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            with open(dest, "wb") as out:
                out.write(data)
            os.utime(dest, (FIXED_TIME, FIXED_TIME))
            taken += len(data)
            count += 1
        print("realdata: %-13s %4d files, %6.1f MB" % (name, count, taken / 1e6))
        total += taken
        total_files += count
    for dirpath, dirnames, _ in os.walk(args.folder):
        for d in dirnames:
            os.utime(os.path.join(dirpath, d), (FIXED_TIME, FIXED_TIME))
    print("realdata: %d files, %.1f MB" % (total_files, total / 1e6))


if __name__ == "__main__":
    main()
