#!/usr/bin/env bash
# Makes the Windows program's folder, zip and installer from a build tree
# cross-built against the prefix of windows-sdk.sh:
#   bash resources/windows/package.sh BUILD PREFIX
# BUILD/Tembrio/ holds Tembrio.exe, every DLL it needs (found by reading the
# imports, the plugins' too), the Qt plugins, list.m3u and the demo clips,
# stripped; beside it Tembrio-<version>-win64.zip and Tembrio-<version>-setup.exe.
set -euo pipefail
build=$(readlink -f "$1") prefix=$(readlink -f "$2")
here=$(dirname "$(readlink -f "$0")")
triplet=x86_64-w64-mingw32
version=$(sed -n 's/^#define TEMBRIO_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/resources/version_info.h")
[ -n "$version" ] || { echo "package.sh: no version in $build" >&2; exit 1; }
folder=$build/Tembrio
# Where the DLLs come from: the prefix, then the toolchain's own runtime.
search=("$prefix/bin" "/usr/$triplet/lib" /usr/lib/gcc/$triplet/*-posix)

rm -rf "$folder"
mkdir -p "$folder/platforms" "$folder/imageformats" "$folder/styles"
cp "$build/Tembrio.exe" "$build/list.m3u" "$folder/"
cp -r "$build/demo" "$folder/"
# The window system, the .ico of the window icon, the native widget style.
cp "$prefix/plugins/platforms/qwindows.dll" "$folder/platforms/"
cp "$prefix/plugins/imageformats/qico.dll" "$folder/imageformats/"
cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"

# Each DLL a module imports that is ours to ship, and what that one imports;
# the rest (KERNEL32, USER32, ...) are the system's.
declare -A shipped=()
queue=("$folder/Tembrio.exe" "$folder"/platforms/*.dll "$folder"/imageformats/*.dll "$folder"/styles/*.dll)
while [ ${#queue[@]} -gt 0 ]; do
  module=${queue[0]}; queue=("${queue[@]:1}")
  while read -r dll; do
    key=${dll,,}
    [ -z "${shipped[$key]:-}" ] || continue
    for dir in "${search[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$folder/"
        shipped[$key]=1
        queue+=("$folder/$dll")
        break
      fi
    done
  done < <($triplet-objdump -p "$module" | sed -n 's/^\s*DLL Name: //p')
done
find "$folder" -iname '*.exe' -o -iname '*.dll' | xargs $triplet-strip --strip-unneeded
echo "package.sh: $folder: $(find "$folder" -iname '*.dll' | wc -l) DLLs, $(du -sh "$folder" | cut -f1)"

zip=$build/Tembrio-$version-win64.zip
rm -f "$zip"
(cd "$build" && zip -qr9X "$zip" Tembrio)
echo "package.sh: $zip ($(du -h "$zip" | cut -f1))"

setup=$build/Tembrio-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSOURCE="$folder" -DOUTFILE="$setup" \
  -DICON="$here/../tembrio.ico" "$here/installer.nsi"
echo "package.sh: $setup ($(du -h "$setup" | cut -f1))"
