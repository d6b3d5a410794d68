#!/usr/bin/env bash
# Writes the seed corpus in fuzz/corpus/ (committed; run again only to
# change it): make_seeds.sh <fuzz build folder> (for its seedchunk tool).
# Needs 7zz, iconv and python3.
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD=$1
C="$HERE/corpus"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export LC_ALL=C.UTF-8 TZ=UTC

# Inputs that once failed (regress-*) stay.
fresh() { mkdir -p "$C/$1"; find "$C/$1" -type f ! -name 'regress-*' -delete; }
utf16() { printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE >"$1"; }

# --- command lines (UTF-16LE, as GetCommandLineW gives them) -------------
fresh cmdline
utf16 "$C/cmdline/silent" '"C:\Users\a\Downloads\setup.exe" /InstallSlience true'
utf16 "$C/cmdline/path" 'setup.exe /InstallPath "D:\Program Files\Quillon" /InstallNormalQuillon 1'
utf16 "$C/cmdline/listen" 'setup.exe /InstallListenWnd 132456 /InstallSlience'
utf16 "$C/cmdline/odd" '//  /x  "" /"quoted value"/ /k	v /k'
utf16 "$C/cmdline/chinese" 'setup.exe /InstallPath "C:\程序\羽笔"'

# --- 7z item names (UTF-16LE) --------------------------------------------
fresh itemname
i=0
for n in 'bin/app.exe' '..\..\evil.txt' 'a/./b' 'CON.txt' 'com¹.log' 'C:\x' 'dir/file:stream' ' . /x' \
         '中文/名字.txt' 'a\\b' 'LPT9 .log' 'ok' '/abs' 'conin$'; do
  utf16 "$C/itemname/name$((i += 1))" "$n"
done

# --- precompiled chunks ----------------------------------------------------
fresh chunklayout
cat >"$WORK/small.lua" <<'LUA'
local x = 1
return x + 2
LUA
cat >"$WORK/full.lua" <<'LUA'
-- constants of every type, nested functions, upvalues, locals, varargs
local t = { name = "羽笔", n = 3.5, yes = true, no = false, none = nil }
local function outer(a, ...)
  local count = select("#", ...)
  return function(b)
    local s = t.name .. tostring(a + b + count)
    return s, function() return s end
  end
end
global_value = outer(1, 2, 3)(4)
return t
LUA
for f in small full; do "$BUILD/seedchunk" "$WORK/$f.lua" "$C/chunklayout/$f"; done

# --- 7z archives -------------------------------------------------------------
fresh archive
tree="$WORK/tree"
mkdir -p "$tree/d1/d2" "$tree/empty" "$tree/中文"
printf 'hello\n' >"$tree/readme.txt"
printf 'alpha\n' >"$tree/d1/a.txt"
seq 1 60 >"$tree/d1/d2/numbers.txt"
: >"$tree/zero.txt"
printf 'unicode\n' >"$tree/中文/名字.txt"
chmod 444 "$tree/readme.txt"
# Bytes that look like x86 calls, for the branch filters.
python3 -c 'import sys; sys.stdout.buffer.write(bytes([0xE8,1,0,0,0,0x90,0xE9,0x10,0,0,0]*24))' >"$tree/code.bin"
find "$tree" -exec touch -h -d '2020-01-02 03:04:05' {} +  # the same seeds every time
pack() { # name, switches...
  local name=$1; shift
  (cd "$tree" && 7zz a -t7z -bso0 -bsp0 "$@" "$C/archive/$name.7z" ./*)
}
pack copy -m0=Copy
pack copy-plainheader -m0=Copy -mhc=off
pack lzma -m0=LZMA -ms=off
pack lzma2-blocks -m0=LZMA2 -ms=2f -mhc=off
pack bcj -m0=BCJ -m1=LZMA
pack bcj2 -mf=BCJ2
pack delta -mf=Delta:4 -mhc=off
pack arm64 -m0=ARM64 -m1=LZMA2
pack ppmd -m0=PPMd
for f in ARM ARMT PPC SPARC IA64 RISCV; do pack "filter-$f" -m0=$f -m1=LZMA2 -mhc=off; done
pack lzma2-chunks -m0=LZMA2:c=4k:d=4k -ms=off
mkdir -p "$WORK/none" "$WORK/hostile/in/sub"
(cd "$WORK/none" && 7zz a -t7z -bso0 -bsp0 "$C/archive/empty.7z" ./*)
printf 'evil\n' >"$WORK/hostile/escape.txt"
printf 'fine\n' >"$WORK/hostile/in/sub/ok.txt"
find "$WORK/hostile" -exec touch -d '2020-01-02 03:04:05' {} +
(cd "$WORK/hostile/in/sub" && 7zz a -t7z -m0=Copy -mhc=off -spf -bso0 -bsp0 "$C/archive/hostile.7z" \
  ../../escape.txt "$PWD/ok.txt" ok.txt)

# --- product.ini ------------------------------------------------------------
fresh productini
cp "$HERE/../samples/quillon/product.ini" "$C/productini/sample.ini"
cp "$HERE/../tests/packer/fixture/product.ini" "$C/productini/fixture.ini"
printf 'version = 1.2.3.4\n' >"$C/productini/minimal.ini"
printf '\xEF\xBB\xBFversion = 0.0.0.0\r\nproduct_name = A\r\n; c\r\n# d\r\n' >"$C/productini/bom-crlf.ini"
cat >"$C/productini/switches.ini" <<'INI'
version = 65535.0.1.2
payload_7z_switches = -mx=9 -m0=BCJ2 -m1=LZMA2:d=64m -m2=LZMA -m3=LZMA -mb0s0:1 -mb0s1:2 -mb0s2:3 -mmt=2 -ms=e8m
execution_level = requireAdministrator
stat_host = a-b.c
INI
iconv -f UTF-8 -t UTF-16 "$C/productini/fixture.ini" >"$C/productini/utf16.ini"

# --- icons ----------------------------------------------------------------
fresh icon
python3 - "$C/icon" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
def bmp(w, h, bpp):
    row = ((w * bpp + 31) // 32) * 4
    mask = ((w + 31) // 32) * 4
    head = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, bpp, 0, 0, 0, 0, 0, 0)
    palette = b'\0\0\0\0' * (2 ** bpp if bpp <= 8 else 0)
    return head + palette + b'\x7f' * (row * h) + b'\0' * (mask * h)
def png(w, h):
    def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
    raw = b''.join(b'\0' + b'\x80\x40\x20\xff' * w for _ in range(h))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
def ico(images):
    head = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b'', b''
    for w, h, bpp, img in images:
        entries += struct.pack('<BBBBHHII', w % 256, h % 256, 0, 0, 1, bpp, len(img), offset + len(data))
        data += img
    return head + entries + data
open(out + '/bmp32.ico', 'wb').write(ico([(4, 4, 32, bmp(4, 4, 32))]))
open(out + '/png.ico', 'wb').write(ico([(2, 2, 32, png(2, 2))]))
open(out + '/two.ico', 'wb').write(ico([(8, 8, 4, bmp(8, 8, 4)), (256, 256, 0, png(1, 1))]))
PY

# --- stub headers -----------------------------------------------------------
fresh pestub
python3 - "$C/pestub" <<'PY'
import struct, sys
out = sys.argv[1]
def pe(plus, symbols=False):
    dirs = 16
    opt_size = (112 if plus else 96) + 8 * dirs
    mz = bytearray(b'MZ' + b'\0' * 62)
    struct.pack_into('<I', mz, 0x3C, 64)
    coff = struct.pack('<HHIIIHH', 0x8664 if plus else 0x14C, 1, 0, 512 + 512 if symbols else 0, 0, opt_size, 0x0102 | (0x20 if plus else 0))
    if plus:
        opt = struct.pack('<HBBIIIIIQIIHHHHHHIIIIHHQQQQII', 0x20B, 2, 0, 512, 0, 0, 0x1000, 0x1000, 0x140000000,
                          0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0, 0x2000, 0x200, 0, 3, 0, 0x100000, 0x1000, 0x100000, 0x1000, 0, dirs)
    else:
        opt = struct.pack('<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII', 0x10B, 2, 0, 512, 0, 0, 0x1000, 0x1000, 0x1000, 0x400000,
                          0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x2000, 0x200, 0, 3, 0, 0x100000, 0x1000, 0x100000, 0x1000, 0, dirs)
    opt += b'\0' * (8 * dirs)
    section = struct.pack('<8sIIIIIIHHI', b'.text', 16, 0x1000, 512, 512, 0, 0, 0, 0, 0x60000020)
    head = bytes(mz) + b'PE\0\0' + coff + opt + section
    image = head + b'\0' * (512 - len(head)) + b'\xC3' + b'\0' * 511
    if symbols:
        image += b'SYMBOLS!' * 4
    return image
open(out + '/pe32.exe', 'wb').write(pe(False))
open(out + '/pe32plus.exe', 'wb').write(pe(True))
open(out + '/pe32plus-symbols.exe', 'wb').write(pe(True, True))

# A stub with the code loader's record, laid out as the linker lays out the
# installer stub: code, read-only data holding the TLS directory, the
# loader's data and code, the TLS template, relocations for every address.
def loader_stub(plus):
    p, base = (8, 0x140000000) if plus else (4, 0x400000)
    ptr = 'Q' if plus else 'I'
    tls_size = 40 if plus else 24
    def tls_dir(start, end, index, callbacks):
        return struct.pack('<' + ptr * 4, start, end, index, callbacks) + struct.pack('<II', 0, 0)
    sections = []  # name, rva, data, characteristics
    text = b'\x90' * 64 + b'\xC3'
    rdata = tls_dir(base + 0x5000, base + 0x5008, base + 0x2100, base + 0x2108)
    rdata += b'\0' * (0x108 - len(rdata)) + struct.pack('<' + ptr * 2, base + 0x1000, 0)
    record = b'QuillCodeLoader1' + b'\0' * (184 - 16)
    slots = tls_dir(base + 0x3000, base + 0x3000, base + 0x3000, base + 0x3000 + 184 + tls_size)
    slots += struct.pack('<' + ptr * 4, base + 0x4000, 0, base + 0x4000, base + 0x3000) + b'\0' * 8
    qldata = record + slots
    sections += [(b'.text', 0x1000, text, 0x60000020), (b'.rdata', 0x2000, rdata, 0x40000040),
                 (b'.qldata', 0x3000, qldata, 0xC0000040), (b'.qload', 0x4000, b'\xC3', 0x60000020),
                 (b'.tls', 0x5000, b'\0' * 8, 0xC0000040)]
    places = {0x2000: [0, p, 2 * p, 3 * p, 0x108], 0x3000: [184 + o for o in (0, p, 2 * p, 3 * p)] +
              [184 + tls_size + o for o in (0, 2 * p, 3 * p)]}
    reloc = b''
    for page, offsets in places.items():
        entries = b''.join(struct.pack('<H', (10 if plus else 3) << 12 | o) for o in offsets)
        if len(entries) % 4:
            entries += b'\0\0'
        reloc += struct.pack('<II', page, 8 + len(entries)) + entries
    sections.append((b'.reloc', 0x6000, reloc, 0x42000040))
    dirs = 16
    opt_size = (112 if plus else 96) + 8 * dirs
    mz = bytearray(b'MZ' + b'\0' * 62)
    struct.pack_into('<I', mz, 0x3C, 64)
    coff = struct.pack('<HHIIIHH', 0x8664 if plus else 0x14C, len(sections), 0, 0, 0, opt_size, 0x0102 | (0x20 if plus else 0))
    if plus:
        opt = struct.pack('<HBBIIIIIQIIHHHHHHIIIIHHQQQQII', 0x20B, 2, 0, 0x200, 0, 0, 0x1000, 0x1000, base,
                          0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0, 0x7000, 0x400, 0, 3, 0x140, 0x100000, 0x1000, 0x100000, 0x1000, 0, dirs)
    else:
        opt = struct.pack('<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII', 0x10B, 2, 0, 0x200, 0, 0, 0x1000, 0x1000, 0x2000, base,
                          0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x7000, 0x400, 0, 3, 0x140, 0x100000, 0x1000, 0x100000, 0x1000, 0, dirs)
    directories = bytearray(8 * dirs)
    struct.pack_into('<II', directories, 8 * 5, 0x6000, len(reloc))
    struct.pack_into('<II', directories, 8 * 9, 0x2000, tls_size)
    table, body = b'', b''
    for name, rva, data, flags in sections:
        raw = data + b'\0' * (-len(data) % 0x200)
        table += struct.pack('<8sIIIIIIHHI', name, len(data), rva, len(raw), 0x400 + len(body), 0, 0, 0, 0, flags)
        body += raw
    head = bytes(mz) + b'PE\0\0' + coff + opt + bytes(directories) + table
    return head + b'\0' * (0x400 - len(head)) + body
open(out + '/loader32.exe', 'wb').write(loader_stub(False))
open(out + '/loader64.exe', 'wb').write(loader_stub(True))
PY

du -sh "$C"
for d in "$C"/*; do echo "$(basename "$d"): $(ls "$d" | wc -l) seeds, $(du -sk "$d" | cut -f1) KiB"; done
