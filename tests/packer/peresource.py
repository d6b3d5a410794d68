#!/usr/bin/env python3
"""Writes one resource of a PE file to a file, as the installer reads it.

Usage: peresource.py <exe> <type> <name> <out>
<type> and <name> are resource names ("_7Z", "APP.7Z") or numbers ("249").
A "_7Z" resource gets its first two bytes exchanged back, so the file is a
plain 7z archive. Exits 1 when the resource is not there.
"""
import struct
import sys


def entries(data, base, at):
    named, ids = struct.unpack_from("<HH", data, at + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
        if name & 0x80000000:
            n = struct.unpack_from("<H", data, base + (name & 0x7FFFFFFF))[0]
            start = base + (name & 0x7FFFFFFF) + 2
            key = data[start:start + 2 * n].decode("utf-16-le")
        else:
            key = str(name)
        yield key, target


def resource(data, rtype, rname):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rva = struct.unpack_from("<I", data, directories + 8 * 2)[0]
    table = optional + optional_size
    for s in range(sections):
        size, address, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * s + 8)
        if address <= rva < address + max(size, raw_size):
            base = raw + rva - address
            break
    else:
        return None
    for key, target in entries(data, base, base):
        if key != rtype.upper():
            continue
        for key2, target2 in entries(data, base, base + (target & 0x7FFFFFFF)):
            if key2 != rname.upper():
                continue
            for _, leaf in entries(data, base, base + (target2 & 0x7FFFFFFF)):
                data_rva, length = struct.unpack_from("<II", data, base + leaf)
                start = raw + data_rva - address
                return data[start:start + length]
    return None


def main():
    exe, rtype, rname, out = sys.argv[1:5]
    data = open(exe, "rb").read()
    found = resource(data, rtype, rname)
    if found is None:
        sys.exit("peresource: %s has no resource %s/%s" % (exe, rtype, rname))
    found = bytearray(found)
    if rtype.upper() == "_7Z" and len(found) >= 2:
        found[0], found[1] = found[1], found[0]
    open(out, "wb").write(found)


if __name__ == "__main__":
    main()
