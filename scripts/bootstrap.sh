#!/usr/bin/env bash
# Installs the build and test dependencies and builds the third-party
# libraries that Debian ships only for Linux. Idempotent: a second run with
# everything in place only checks stamps.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/third_party"
SRC="$DEPS/src"
OUT="$DEPS/build"
mkdir -p "$SRC" "$OUT"

PACKAGES=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  wine64 xvfb 7zip zip unzip zlib1g-dev libz-mingw-w64-dev libspdlog-dev libfmt-dev
  googletest dpkg-dev cmake ninja-build g++ fonts-wqy-microhei locales
  python3 openssl osslsigncode libstb-dev clang libclang-rt-14-dev librsvg2-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

ensure_src_list() {
  # Source packages: derive deb-src entries from the machine's own list.
  local list=/etc/apt/sources.list.d/quillon-src.sources
  [ -f "$list" ] && return 0
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$list"
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/quillon-src.list
    touch "$list"
  fi
  APT_UPDATED=0
  rm -f "${APT_STAMP:-}"
}

APT_UPDATED=${APT_UPDATED:-0}
# Also seen by the subshells of fetch_source, which cannot set APT_UPDATED.
APT_STAMP="$(mktemp -u /tmp/quill-apt-updated.XXXXXX)"
trap 'rm -f "$APT_STAMP"' EXIT
# A mirror caught mid-sync fails one index (apt then ignores it and keeps the
# rest): tried again after a pause, then left to the installs to judge.
apt_update() {
  { [ "$APT_UPDATED" = 1 ] || [ -f "$APT_STAMP" ]; } && return 0
  local try
  for try in 1 2 3; do
    apt-get update -qq && break
    if [ "$try" = 3 ]; then echo "bootstrap: apt-get update failed 3 times; going on with the indexes it got" >&2
    else sleep $((try * 10)); fi
  done
  APT_UPDATED=1
  touch "$APT_STAMP"
}

if [ ${#missing[@]} -gt 0 ]; then
  ensure_src_list
  apt_update
  echo "bootstrap: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# --- 32-bit Wine: the i686 build (the shipped installer) and its tests run
# under /usr/lib/wine/wine in a 64-bit prefix (WoW64). If it cannot be
# installed, scripts/test.sh skips the i686 run and says why.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    APT_UPDATED=0
    rm -f "$APT_STAMP"
  fi
  apt_update
  echo "bootstrap: installing wine32:i386"
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386 >"$DEPS/wine32-install.log" 2>&1; then
    echo "bootstrap: WARNING: wine32:i386 could not be installed (see $DEPS/wine32-install.log);" \
         "the i686 tests will be skipped" >&2
  fi
fi

# Wine takes file names, arguments and console text through the Linux
# locale: without a generated zh_CN.UTF-8, LC_ALL=zh_CN.UTF-8 still gives code
# page 936 inside, but Chinese file names cannot be created and Chinese
# arguments from a shell lose their high bits.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
  echo "bootstrap: generated the zh_CN.UTF-8 locale"
fi

fetch_source() { # package, folder glob
  local pkg=$1
  if ! ls -d "$SRC/$pkg"-*/ >/dev/null 2>&1; then
    ensure_src_list
    apt_update
    (cd "$SRC" && apt-get source -qq "$pkg" >/dev/null 2>&1 || { cd "$SRC" && apt-get source "$pkg"; })
  fi
  ls -d "$SRC/$pkg"-*/ | head -n1
}

# The C libraries below go into every setup.exe: built for size, with each
# function in its own section so the stub's link drops what it never calls.
SIZE_CFLAGS="-Os -DNDEBUG -ffunction-sections -fdata-sections"

# --- Lua 5.2, compiled as C++ so errors unwind host frames ---------------
build_lua() { # name, compiler, ar, extra flags
  local name=$1 cxx=$2 ar=$3 flags=$4
  local dir="$OUT/lua-$name"
  [ -f "$dir/.stamp" ] && return 0
  local src="$LUA_SRC/src"
  rm -rf "$dir"; mkdir -p "$dir/include" "$dir/obj"
  # Debian's luaconf.h wants this header on non-Windows builds.
  echo '#define DEB_HOST_MULTIARCH "native"' > "$dir/include/lua5.2-deb-multiarch.h"
  local objs=()
  for f in "$src"/*.c; do
    case "$(basename "$f")" in lua.c|luac.c) continue;; esac
    local o="$dir/obj/$(basename "${f%.c}").o"
    "$cxx" -x c++ -Os -ffunction-sections -fdata-sections -DLUA_COMPAT_ALL $flags -I"$dir/include" -c "$f" -o "$o"
    objs+=("$o")
  done
  "$ar" rcs "$dir/liblua.a" "${objs[@]}"
  cp "$src"/lua.h "$src"/luaconf.h "$src"/lualib.h "$src"/lauxlib.h "$src"/lundump.h "$dir/include/"
  rm -rf "$dir/obj"
  touch "$dir/.stamp"
  echo "bootstrap: built Lua for $name"
}

LUA_SRC="$(fetch_source lua5.2)"
build_lua x86_64 x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-ar "-DLUA_IEEELL" &
build_lua i686 i686-w64-mingw32-g++-posix i686-w64-mingw32-ar "" &
build_lua native g++ ar "-DLUA_USE_POSIX" &
wait
for t in x86_64 i686 native; do [ -f "$OUT/lua-$t/.stamp" ] || { echo "bootstrap: Lua build for $t failed" >&2; exit 1; }; done

# --- header-only spdlog/fmt, kept apart from the rest of /usr/include -----
if [ ! -f "$OUT/spdlog-include/.stamp" ]; then
  rm -rf "$OUT/spdlog-include"; mkdir -p "$OUT/spdlog-include"
  cp -r /usr/include/spdlog /usr/include/fmt "$OUT/spdlog-include/"
  touch "$OUT/spdlog-include/.stamp"
fi

# --- LZMA SDK: the C 7z decoder (payload unpacking), static, -O2 ----------
# Only the archive reader, its codecs and filters; no encoder, no threads.
# The file list is the packer's (tools/packer/sources.cmake), which decodes
# with the same files natively.
LZMADEC_FILES=$(tr '\n' ' ' <"$ROOT/tools/packer/sources.cmake" | grep -o 'set(QUILLPACK_LZMA_DECODER [^)]*' | cut -d' ' -f2-)
[ -n "$LZMADEC_FILES" ] || { echo "bootstrap: no QUILLPACK_LZMA_DECODER list in tools/packer/sources.cmake" >&2; exit 1; }
build_lzmadec() { # arch, compiler, ar
  local arch=$1 cc=$2 ar=$3
  local dir="$OUT/lzmadec-$arch"
  [ -f "$dir/.stamp" ] && return 0
  rm -rf "$dir"; mkdir -p "$dir/include/lzma" "$dir/obj"
  local objs=() f
  for f in $LZMADEC_FILES; do
    "$cc" -O2 -ffunction-sections -fdata-sections -c "$LZMADEC_SRC/C/$f.c" -o "$dir/obj/$f.o" || return 1
    objs+=("$dir/obj/$f.o")
  done
  "$ar" rcs "$dir/liblzmadec.a" "${objs[@]}"
  # In a folder of their own: names such as Alloc.h or Threads.h are common.
  cp "$LZMADEC_SRC"/C/*.h "$dir/include/lzma/"
  rm -rf "$dir/obj"
  touch "$dir/.stamp"
  echo "bootstrap: built the 7z decoder for $arch"
}

if [ ! -f "$OUT/lzmadec-x86_64/.stamp" ] || [ ! -f "$OUT/lzmadec-i686/.stamp" ]; then
  lzmadec_start=$SECONDS
  LZMADEC_SRC="$(fetch_source 7zip)"
  build_lzmadec x86_64 x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-ar &
  build_lzmadec i686 i686-w64-mingw32-gcc-posix i686-w64-mingw32-ar &
  wait
  echo "bootstrap: 7z decoder step took $((SECONDS - lzmadec_start)) s"
fi
for t in x86_64 i686; do [ -f "$OUT/lzmadec-$t/.stamp" ] || { echo "bootstrap: 7z decoder for $t missing" >&2; exit 1; }; done
# The packer decodes every payload it writes with the same C sources, built
# natively: they must be there even when the stamps above were.
fetch_source 7zip >/dev/null

# A library with its own CMake project, built static for one Windows target
# and installed into $OUT/<name>-<arch>, for size (see SIZE_CFLAGS).
build_cmake_library() { # name, label, source folder, arch, options...
  local name=$1 label=$2 src=$3 arch=$4
  shift 4
  local dir="$OUT/$name-$arch" work="$OUT/$name-$arch.work"
  [ -f "$dir/.stamp" ] && return 0
  rm -rf "$dir" "$work"
  cmake -S "$src" -B "$work" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dir" -DCMAKE_C_FLAGS_RELEASE="$SIZE_CFLAGS" \
    -DBUILD_SHARED_LIBS=OFF "$@" \
    >"$work.log" 2>&1 || { echo "bootstrap: $label configure for $arch failed, see $work.log" >&2; return 1; }
  cmake --build "$work" -j2 >>"$work.log" 2>&1 &&
    cmake --install "$work" >>"$work.log" 2>&1 ||
    { echo "bootstrap: $label build for $arch failed, see $work.log" >&2; return 1; }
  rm -rf "$work" "$work.log"
  touch "$dir/.stamp"
  echo "bootstrap: built $label for $arch"
}

# --- libcurl, static, Schannel TLS (HTTP and HTTPS GET only) --------------
# dpkg-source (behind apt-get source) applies Debian's security fixes.
build_curl() { # arch
  build_cmake_library curl libcurl "$CURL_SRC" "$1" \
    -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DHTTP_ONLY=ON -DCURL_ZLIB=OFF \
    -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=ON -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none -DENABLE_MANUAL=OFF -DENABLE_UNICODE=ON \
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DENABLE_UNIX_SOCKETS=OFF \
    -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_ALTSVC=ON \
    -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_DOH=ON -DCURL_DISABLE_NETRC=ON \
    -DCURL_DISABLE_GETOPTIONS=ON -DCURL_DISABLE_PROGRESS_METER=ON
}

if [ ! -f "$OUT/curl-x86_64/.stamp" ] || [ ! -f "$OUT/curl-i686/.stamp" ]; then
  CURL_SRC="$(fetch_source curl)"
  build_curl x86_64 &
  build_curl i686 &
  wait
fi
for t in x86_64 i686; do [ -f "$OUT/curl-$t/.stamp" ] || { echo "bootstrap: libcurl for $t missing" >&2; exit 1; }; done

# --- UI toolkit: pugixml, nanosvg, stb, libwebp ---------------------------
# pugixml and nanosvg are compiled into the toolkit from the copied sources,
# stb_image comes from Debian's headers, libwebp's decoder and demux library
# are built static per target. nanosvg is taken from libsdl2-image's source
# (320 KB) rather than wxwidgets3.2 (18 MB): its SDL adaptation is only an
# export macro and a calling-convention macro on one sort callback, which
# the toolkit defines empty.
if [ ! -f "$OUT/pugixml/.stamp" ]; then
  PUGI_SRC="$(fetch_source pugixml)"
  rm -rf "$OUT/pugixml"; mkdir -p "$OUT/pugixml"
  cp "$PUGI_SRC"/src/pugixml.cpp "$PUGI_SRC"/src/pugixml.hpp "$PUGI_SRC"/src/pugiconfig.hpp "$OUT/pugixml/"
  touch "$OUT/pugixml/.stamp"
  echo "bootstrap: copied pugixml"
fi
if [ ! -f "$OUT/nanosvg/.stamp" ]; then
  SDLIMG_SRC="$(fetch_source libsdl2-image)"
  rm -rf "$OUT/nanosvg"; mkdir -p "$OUT/nanosvg"
  cp "$SDLIMG_SRC"/nanosvg.h "$SDLIMG_SRC"/nanosvgrast.h "$OUT/nanosvg/"
  touch "$OUT/nanosvg/.stamp"
  echo "bootstrap: copied nanosvg"
fi
if [ ! -f "$OUT/stb-include/.stamp" ]; then
  rm -rf "$OUT/stb-include"; mkdir -p "$OUT/stb-include"
  cp /usr/include/stb/stb_image.h /usr/include/stb/stb_image_resize.h "$OUT/stb-include/"
  touch "$OUT/stb-include/.stamp"
fi

build_webp() { # arch
  build_cmake_library webp libwebp "$WEBP_SRC" "$1" \
    -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
    -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF \
    -DWEBP_BUILD_LIBWEBPMUX=OFF -DWEBP_USE_THREAD=OFF
}

if [ ! -f "$OUT/webp-x86_64/.stamp" ] || [ ! -f "$OUT/webp-i686/.stamp" ]; then
  WEBP_SRC="$(fetch_source libwebp)"
  build_webp x86_64 &
  build_webp i686 &
  wait
fi
for t in x86_64 i686; do [ -f "$OUT/webp-$t/.stamp" ] || { echo "bootstrap: libwebp for $t missing" >&2; exit 1; }; done

echo "bootstrap: ready"
