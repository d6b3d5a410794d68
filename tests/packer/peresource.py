#!/usr/bin/env python3
"""Copies one resource of a PE file out: peresource.py <exe> <type> <name> <out>.

Type and name are resource names (case-insensitive) or decimal ids; the
first language found is taken. Exits 1 when the resource is not there."""
import struct
import sys


def main(exe, rtype, rname, out):
    data = open(exe, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    dirs = pe + 24 + (96 if magic == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", data, dirs + 2 * 8)[0]
    table = pe + 24 + optional

    def offset(rva):
        for i in range(sections):
            _, vsize, va, rawsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            if va <= rva < va + max(vsize, rawsize):
                return raw + rva - va
        sys.exit("peresource: RVA %#x outside every section" % rva)

    base = offset(rsrc_rva)

    def entries(at):
        named, ids = struct.unpack_from("<HH", data, base + at + 12)
        for i in range(named + ids):
            key, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
            if key & 0x80000000:
                o = base + (key & 0x7FFFFFFF)
                n = struct.unpack_from("<H", data, o)[0]
                key = data[o + 2:o + 2 + 2 * n].decode("utf-16-le").upper()
            yield key, target

    def find(at, want):
        want = int(want) if want.isdigit() else want.upper()
        for key, target in entries(at):
            if key == want:
                return target & 0x7FFFFFFF
        sys.exit(1)

    lang_dir = find(find(0, rtype), rname)
    _, leaf = next(entries(lang_dir))
    rva, size = struct.unpack_from("<II", data, base + leaf)
    at = offset(rva)
    open(out, "wb").write(data[at:at + size])


if __name__ == "__main__":
    main(*sys.argv[1:5])
