#!/usr/bin/env bash
# Cross-builds, from Debian's own source packages, the libraries the player
# links (Qt, FFmpeg, libass with freetype/fribidi/harfbuzz, libmpv, libcdio)
# for 64-bit Windows with Debian's MinGW-w64, into a prefix kept outside the
# checkout:
#   bash resources/windows-sdk.sh      (or: bash build.sh windows-sdk, which
#                                       bash build.sh windows runs first)
# The prefix is /var/cache/tembrio-mingw/<key>, the key hashing the source
# versions, the toolchain's and this script's content.  A finished prefix is
# reused as it is; it appears under its name only once complete.  It holds
# mingw64.cmake (a CMake toolchain file) and mingw64.meson (a meson cross file)
# for building the program itself.  TEMBRIO_MINGW_CACHE moves the cache.
set -euo pipefail

triplet=x86_64-w64-mingw32
cache=${TEMBRIO_MINGW_CACHE:-/var/cache/tembrio-mingw}
jobs=$(nproc)
self=$(readlink -f "$0")
# The source packages, as the archive names them.
sources=(freetype fribidi harfbuzz libass ffmpeg mpv libcdio qt6-base)

die() { echo "windows-sdk: $*" >&2; exit 1; }
say() { echo "windows-sdk: $*"; }

sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo

# ---- timing --------------------------------------------------------------
t_all=$(date +%s)
declare -a times=()
stage_start() { stage_name=$1; t_stage=$(date +%s); say "== $1"; }
stage_end() {
  local s=$(( $(date +%s) - t_stage ))
  times+=("$(printf '%-10s %4dm%02ds %s' "$stage_name" $((s / 60)) $((s % 60)) "${1:-}")")
  say "== $stage_name: $((s / 60))m$((s % 60))s ${1:-}"
}
report_times() {
  local s=$(( $(date +%s) - t_all ))
  echo "windows-sdk: stage times (wall clock):"
  printf '  %s\n' "${times[@]}"
  printf '  %-10s %4dm%02ds\n' total $((s / 60)) $((s % 60))
}
trap 'rc=$?; [ $rc -eq 0 ] || { report_times; echo "windows-sdk: FAILED in stage ${stage_name:-start} (exit $rc)" >&2; }' EXIT

# ---- cache folder and lock ---------------------------------------------------
if [ ! -d "$cache" ]; then
  $sudo mkdir -p "$cache"
  [ -z "$sudo" ] || $sudo chown "$(id -u):$(id -g)" "$cache"
fi
[ -w "$cache" ] || die "$cache is not writable"
exec 9>"$cache/.lock"
if ! flock -n 9; then
  say "another run holds $cache/.lock; waiting for it"
  flock 9
fi

work=$cache/work            # sources, build trees, the prefix being made
stage_prefix=$work/prefix   # stages install here; copied out when all are done
mkdir -p "$work/dl" "$work/src" "$work/build" "$work/stamps" "$stage_prefix"

# ---- host packages -----------------------------------------------------------
stage_start packages
host_packages=(gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev libz-mingw-w64
  nasm meson ninja-build cmake pkg-config dpkg-dev make perl python3 xz-utils
  bzip2 file)
missing=()
for p in "${host_packages[@]}"; do
  dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
done
apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$@" ||
    { $sudo apt-get update && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$@"; }
}
[ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"
stage_end "${#missing[@]} installed"

# ---- sources -----------------------------------------------------------------
# A private apt configuration and state, with deb-src entries for the very
# archive the system uses, so /etc/apt stays as it is.
stage_start sources
apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/parts"
rm -f "$apt_dir"/parts/debian-src.*
if [ -r /etc/apt/sources.list.d/debian.sources ]; then
  sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$apt_dir/parts/debian-src.sources"
elif grep -qs '^deb\s' /etc/apt/sources.list; then
  # The one-line format of systems installed before Debian 12.
  sed -n 's/^deb\s/deb-src /p' /etc/apt/sources.list >"$apt_dir/parts/debian-src.list"
else
  die "neither /etc/apt/sources.list.d/debian.sources nor /etc/apt/sources.list names an archive to take sources from"
fi
cat > "$apt_dir/apt.conf" <<EOF
Dir::Etc::SourceList "/dev/null";
Dir::Etc::SourceParts "$apt_dir/parts";
Dir::State::Lists "$apt_dir/lists";
Dir::Cache "$apt_dir";
Dir::Cache::archives "$apt_dir/archives";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
APT::Sandbox::User "$(id -un)";
EOF
papt() { APT_CONFIG=$apt_dir/apt.conf "$@"; }
if ! papt apt-get -q update >"$apt_dir/update.log" 2>&1; then
  ls "$apt_dir"/lists/*Sources* >/dev/null 2>&1 ||
    die "apt-get update of the deb-src entries failed (see $apt_dir/update.log)"
  say "apt-get update failed; using the source lists of an earlier run"
fi

# The host Qt tools (moc, rcc, uic) must be of the very Qt version built.
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)

versions_of() {  # newest first, the host Qt's own version before all
  local v all
  all=$(papt apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -u)
  [ -n "$all" ] || die "the archive has no source package $1"
  if [ "$1" = qt6-base ] && [ -n "$host_qt" ] && grep -qxF "$host_qt" <<<"$all"; then
    echo "$host_qt"
  fi
  for v in $all; do echo "$v"; done | sort -r -V
}

# Downloads one source package and extracts it; prints "NAME VERSION HOW DIR".
# Some mirrors lack a file of the newest revision: then an older revision of
# the archive is taken, and as a last resort the upstream tarball alone.
fetch() {
  local name=$1 v upstream dsc dir log=$apt_dir/source-$1.log orig
  : >"$log"
  for v in $(versions_of "$name"); do
    upstream=${v#*:}; upstream=${upstream%-*}
    dsc=${name}_${v#*:}.dsc
    dir=$work/src/${name}_${v#*:}
    if [ -f "$dir/.extracted" ]; then echo "$name $v debian $dir"; return; fi
    if (cd "$work/dl" && papt apt-get source -q --download-only --only-source "$name=$v") >>"$log" 2>&1; then
      rm -rf "$dir"
      (cd "$work/dl" && dpkg-source -q -x "$dsc" "$dir") >>"$log" 2>&1 ||
        die "dpkg-source could not extract $dsc (see $log)"
      touch "$dir/.extracted"
      echo "$name $v debian $dir"; return
    fi
    echo "($name $v: incomplete in the archive, trying an older one)" >>"$log"
    say "WARNING: the archive lacks files of $name $v; trying an older revision" >&2
  done
  for v in $(versions_of "$name"); do
    upstream=${v#*:}; upstream=${upstream%-*}
    dir=$work/src/${name}_${upstream}_upstream
    if [ -f "$dir/.extracted" ]; then echo "$name $v upstream $dir"; return; fi
    for orig in "$work/dl/${name}_${upstream}".orig.tar.*; do
      case $orig in *.asc|*'*'*) continue ;; esac
      rm -rf "$dir"; mkdir -p "$dir"
      tar -xf "$orig" -C "$dir" --strip-components=1 >>"$log" 2>&1 || die "cannot unpack $orig"
      touch "$dir/.extracted"
      echo "$name $v upstream $dir"; return
    done
  done
  die "no complete source of $name could be downloaded (see $log)"
}

declare -A src_dir src_version
manifest=$work/sources.txt
: >"$manifest"
for name in "${sources[@]}"; do
  fetch "$name" >"$work/fetched"
  read -r n v how dir <"$work/fetched"
  src_dir[$n]=$dir; src_version[$n]=$v
  echo "$n $v $how" >>"$manifest"
  if [ "$how" = upstream ]; then
    say "WARNING: the archive lacks Debian's changes for $n $v; building its upstream tarball as Debian ships it"
  fi
done
sed 's/^/  /' "$manifest"

qt_version=${src_version[qt6-base]}
if [ "$host_qt" != "$qt_version" ]; then
  say "installing the host Qt tools of version $qt_version"
  apt_install "qt6-base-dev-tools=$qt_version" "qt6-base-dev=$qt_version" ||
    die "the host Qt tools $qt_version (same as the Qt built) cannot be installed"
  host_qt=$qt_version
fi
stage_end

# ---- the key -----------------------------------------------------------------
toolchain_versions=$(dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64-posix \
  mingw-w64-x86-64-dev libz-mingw-w64-dev binutils-mingw-w64-x86-64 qt6-base-dev-tools 2>/dev/null)
key=$( { cat "$manifest"; echo "$toolchain_versions"; cat "$self"; } | sha256sum | cut -c1-16)
prefix=$cache/$key
say "prefix: $prefix"

# Everything a stage's result depends on besides its own source: the
# toolchain, and the functions below that every stage uses.
write_cross_files() {  # PREFIX DIR: the CMake toolchain file and meson cross file
  local p=$1 d=$2
  cat >"$d/mingw64.cmake" <<EOF
# CMake toolchain file: 64-bit Windows with Debian's MinGW-w64 (posix threads)
# and the libraries of this prefix.
get_filename_component(TEMBRIO_MINGW_PREFIX "\${CMAKE_CURRENT_LIST_DIR}" ABSOLUTE)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triplet-gcc-posix)
set(CMAKE_CXX_COMPILER $triplet-g++-posix)
set(CMAKE_RC_COMPILER $triplet-windres)
set(CMAKE_AR $triplet-ar CACHE FILEPATH "")
set(CMAKE_RANLIB $triplet-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP $triplet-strip CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH "\${TEMBRIO_MINGW_PREFIX}" /usr/$triplet)
list(APPEND CMAKE_PREFIX_PATH "\${TEMBRIO_MINGW_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# moc, rcc and uic come from the host's Qt of the same version.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
set(ENV{PKG_CONFIG_LIBDIR} "\${TEMBRIO_MINGW_PREFIX}/lib/pkgconfig:/usr/$triplet/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
EOF
  cat >"$d/mingw64.meson" <<EOF
# meson cross file: 64-bit Windows with Debian's MinGW-w64 (posix threads)
# and the libraries of $p.
[binaries]
c = '$triplet-gcc-posix'
cpp = '$triplet-g++-posix'
ar = '$triplet-ar'
strip = '$triplet-strip'
windres = '$triplet-windres'
nm = '$triplet-nm'
pkgconfig = 'pkg-config'
cmake = 'cmake'

[properties]
pkg_config_libdir = ['$p/lib/pkgconfig', '/usr/$triplet/lib/pkgconfig']

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
}
write_cross_files "$stage_prefix" "$work"
export PKG_CONFIG_LIBDIR=$stage_prefix/lib/pkgconfig:/usr/$triplet/lib/pkgconfig
export PKG_CONFIG_PATH=
# Other builds on this machine share the compiler cache; these objects would
# only push theirs out.
export CCACHE_DISABLE=1
unset PKG_CONFIG_SYSROOT_DIR CC CXX CFLAGS CXXFLAGS LDFLAGS CPPFLAGS || true

meson_build() {  # NAME ARGS...: configure, build and install a meson project
  local name=$1; shift
  meson setup "$work/build/$name" "${src_dir[$name]}" --cross-file "$work/mingw64.meson" \
    --prefix "$stage_prefix" --libdir lib --buildtype release --default-library shared \
    --wrap-mode nodownload "$@"
  ninja -C "$work/build/$name" -j"$jobs"
  ninja -C "$work/build/$name" install
}
autotools_build() {  # NAME ARGS...: configure out of the tree, build, install
  local name=$1; shift
  mkdir -p "$work/build/$name"
  (cd "$work/build/$name" &&
    "${src_dir[$name]}/configure" --host=$triplet --prefix="$stage_prefix" \
      --enable-shared --disable-static CC=$triplet-gcc-posix CXX=$triplet-g++-posix "$@" &&
    make -j"$jobs" && make install)
}

common=$( { declare -f write_cross_files meson_build autotools_build; echo "$toolchain_versions"; } | sha256sum | cut -c1-16)

# ---- the stages --------------------------------------------------------------
build_freetype() {
  meson_build freetype -Dbrotli=disabled -Dbzip2=disabled -Dharfbuzz=disabled \
    -Dpng=disabled -Dzlib=system -Dtests=disabled
}
build_fribidi() {
  meson_build fribidi -Ddocs=false
}
build_harfbuzz() {
  meson_build harfbuzz -Dglib=disabled -Dgobject=disabled -Dcairo=disabled \
    -Dchafa=disabled -Dicu=disabled -Dfreetype=enabled -Dtests=disabled \
    -Dintrospection=disabled -Ddocs=disabled -Dbenchmark=disabled
}
build_libass() {
  autotools_build libass --disable-fontconfig --disable-require-system-font-provider \
    --enable-directwrite --disable-libunibreak
}
build_ffmpeg() {
  # Only decoding and playing local files: no encoders, muxers, devices,
  # programs, documentation or network.
  mkdir -p "$work/build/ffmpeg"
  (cd "$work/build/ffmpeg" &&
    "${src_dir[ffmpeg]}/configure" --prefix="$stage_prefix" --target-os=mingw32 \
      --arch=x86_64 --enable-cross-compile --cross-prefix=$triplet- --cc=$triplet-gcc-posix \
      --cxx=$triplet-g++-posix --pkg-config=pkg-config --enable-shared --disable-static \
      --disable-programs --disable-doc --disable-network --disable-encoders \
      --disable-muxers --disable-devices --disable-avdevice --disable-debug \
      --enable-d3d11va --enable-dxva2 &&
    make -j"$jobs" && make install)
}
build_mpv() {
  # Only the library; every optional dependency off except what Windows
  # itself provides (audio, OpenGL, Direct3D decoding).
  meson_build mpv -Dauto_features=disabled -Dlibmpv=true -Dcplayer=false \
    -Dtests=false -Dbuild-date=false -Dlua=disabled -Djavascript=disabled \
    -Dstdatomic=enabled -Dzlib=enabled -Dwasapi=enabled -Dgl=enabled \
    -Dgl-win32=enabled -Dd3d-hwaccel=enabled -Ddirect3d=enabled
}
build_libcdio() {
  # The libraries for drives and images only: no utilities, no CD-DA player.
  # Its libtool sets the shared library names after probing the C++ compiler,
  # which --disable-cxx never probes: without GXX=yes it names the import
  # library libcdio-19.dll and installs no DLL at all.
  local b=$work/build/libcdio
  mkdir -p "$b"
  (cd "$b" &&
    "${src_dir[libcdio]}/configure" --host=$triplet --prefix="$stage_prefix" \
      --enable-shared --disable-static CC=$triplet-gcc-posix GXX=yes \
      --without-cd-drive --without-cd-info --without-cdda-player --without-cd-read \
      --without-iso-info --without-iso-read --disable-cxx --disable-cpp-progs \
      --disable-example-progs --disable-cddb --disable-vcd-info &&
    make -j"$jobs" -C lib && make -C include install && make -C lib install &&
    make install-pkgconfigDATA)
}
build_qt() {
  # Core, Gui, OpenGL, OpenGLWidgets, Widgets and the windows platform plugin.
  # Feature switches belong to the first configure: changing one later
  # rebuilds most of Gui and Widgets.  Debian's tarball lacks wintab, hence
  # no tablet events.  Qt 6.4 compiles its DirectWrite font database only
  # with Direct2D, which is left out, yet the platform plugin links it when
  # directwrite3 is on; GDI's font database is Windows' default anyway.
  cmake -S "${src_dir[qt6-base]}" -B "$work/build/qt" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$work/mingw64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$stage_prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF \
    -DFEATURE_testlib=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_vulkan=OFF -DINPUT_opengl=desktop \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_pcre2=OFF
  cmake --build "$work/build/qt" --parallel "$jobs"
  cmake --install "$work/build/qt"
}

# A stage's stamp hashes its recipe, its source and the stamps of what it
# links, so a changed recipe rebuilds it and whatever depends on it, and an
# unchanged one is taken from an earlier run even when the script changed
# elsewhere.  The final prefix is keyed by the whole script all the same.
declare -A deps=([freetype]="" [fribidi]="" [harfbuzz]="freetype"
  [libass]="freetype fribidi harfbuzz" [ffmpeg]="" [mpv]="libass ffmpeg"
  [libcdio]="" [qt]="")
declare -A source_of=([freetype]=freetype [fribidi]=fribidi [harfbuzz]=harfbuzz
  [libass]=libass [ffmpeg]=ffmpeg [mpv]=mpv [libcdio]=libcdio [qt]=qt6-base)
declare -A stamp
stage_order=(freetype fribidi harfbuzz libass ffmpeg mpv libcdio qt)

if [ -d "$prefix" ]; then
  say "reusing the finished prefix"
else
  rm -rf "$prefix.partial"
  for s in "${stage_order[@]}"; do
    dep_stamps=
    for d in ${deps[$s]}; do dep_stamps+=" ${stamp[$d]}"; done
    stamp[$s]=$( { declare -f "build_$s"; echo "$common ${source_of[$s]} ${src_version[${source_of[$s]}]} ${src_dir[${source_of[$s]}]}$dep_stamps"; } |
      sha256sum | cut -c1-16)
    stage_start "$s"
    if [ "$(cat "$work/stamps/$s" 2>/dev/null)" = "${stamp[$s]}" ]; then
      stage_end "(built by an earlier run)"
      continue
    fi
    rm -f "$work/stamps/$s"
    # A CMake tree left by a failed run is built on: CMake and ninja redo
    # only what the new settings touch (Qt's Core alone is a third of it).
    if [ -f "$work/build/$s/CMakeCache.txt" ]; then
      say "building on the tree a failed run left in $work/build/$s"
    else
      rm -rf "$work/build/$s"
    fi
    # What the stage installed last time goes first, so a changed recipe
    # leaves nothing stale behind.
    if [ -f "$work/stamps/$s.files" ]; then
      (cd "$stage_prefix" && xargs -r -d '\n' rm -f <"$work/stamps/$s.files")
    fi
    (cd "$stage_prefix" && find . ! -type d | sort) >"$work/before"
    "build_$s" >"$work/build/$s.log" 2>&1 || {
      tail -n 40 "$work/build/$s.log" >&2
      die "building $s failed (whole log: $work/build/$s.log)"
    }
    (cd "$stage_prefix" && find . ! -type d | sort) | comm -13 "$work/before" - >"$work/stamps/$s.files"
    echo "${stamp[$s]}" >"$work/stamps/$s"
    rm -rf "$work/build/$s"
    stage_end
  done

  # The prefix is assembled under another name and renamed once complete,
  # so a run that stops half way never leaves something that looks finished.
  stage_start finish
  partial=$prefix.partial
  cp -a "$stage_prefix" "$partial"
  # libtool archives name absolute paths and nothing here needs them; the
  # few programs and documents the libraries bring are no part of it either.
  find "$partial" -name '*.la' -delete
  rm -f "$partial"/bin/*.exe
  rm -rf "$partial"/share/{doc,info,man,ffmpeg/examples}
  # Text files that name the staging prefix (pkg-config files, CMake
  # packages, Qt's module files) name the final one instead.
  grep -rlIF "$stage_prefix" "$partial" | while IFS= read -r f; do
    sed -i "s|$stage_prefix|$prefix|g" "$f"
  done
  # What every program built with this toolchain needs beside it.
  gcc_dir=$($triplet-gcc-posix -print-libgcc-file-name | xargs dirname)
  cp "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_seh-1.dll" \
    /usr/$triplet/lib/libwinpthread-1.dll /usr/$triplet/lib/zlib1.dll "$partial/bin/"
  write_cross_files "$prefix" "$partial"
  cp "$manifest" "$partial/sources.txt"
  mv "$partial" "$prefix"
  stage_end
fi
ln -sfn "$key" "$cache/latest.new" && mv -T "$cache/latest.new" "$cache/latest"
# Prefixes of earlier keys go: the stages they were made of are still in $work.
for old in "$cache"/????????????????; do
  [ "$old" = "$prefix" ] || [ ! -d "$old" ] || rm -rf "$old"
done

report_times
say "prefix $prefix: $(du -sh "$prefix" | cut -f1)"
echo "$prefix"
