#!/usr/bin/env bash
# An installed sepack works away from its build tree: installed with `cmake --install` and
# unpacked from the Debian package that CPack makes, it packs a folder for every target whose
# stub was installed, and the Linux package it makes is sound and runs; its manual page is
# installed with it and renders cleanly.
#   tests/tools/install-test.sh BUILD_FOLDER
set -euo pipefail
build=${1:?usage: $0 BUILD_FOLDER}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/app/sub"
printf '#!/bin/sh\necho ran >"$SE_MARK"\n' >"$work/app/rux.exe"
echo data >"$work/app/sub/data.txt"

check() { # sepack label
  local sepack=$1 label=$2 out="$work/out-$2"
  mkdir "$out"
  (cd / && "$sepack" make -q -o "$out/setup" "$work/app")
  "$sepack" verify "$out/setup" >/dev/null
  echo y | TMPDIR="$out" SE_MARK="$out/mark" "$out/setup" 2>/dev/null
  grep -q ran "$out/mark"
  local targets=linux
  for t in win32 win64; do
    [ -f "$(dirname "$sepack")/../share/sekit/stubs/$t/extractor.exe" ] || continue
    "$sepack" make -q --target "$t" -o "$out/setup-$t.exe" "$work/app"
    [ "$(head -c 2 "$out/setup-$t.exe")" = MZ ]
    targets="$targets $t"
  done
  # The manual page is installed beside it and documents every command and option that the
  # program's own help names.
  local page text command option
  page=$(dirname "$sepack")/../share/man/man1/sepack.1
  [ -f "$page" ] || { echo "  $label: no manual page at $page" >&2; return 1; }
  text=$(groff -man -Tascii -P-cbou "$page" 2>/dev/null)
  for command in $("$sepack" --help | sed -n 's/^  \([a-z-]*\) .*/\1/p'); do
    grep -Eq "^ +$command( |$)" <<<"$text" ||
      { echo "  $label: the manual page has no entry for '$command'" >&2; return 1; }
    for option in $("$sepack" help "$command" | grep -Eo -- '--[a-z][a-z-]*' | sort -u); do
      grep -q -- "$option" <<<"$text" ||
        { echo "  $label: the manual page misses $command $option" >&2; return 1; }
    done
  done
  echo "  $label: packs for $targets; manual page installed"
}

# The page renders without a warning.
warnings=$(groff -ww -man -z "$(dirname "$0")/../../docs/sepack.1" 2>&1)
[ -z "$warnings" ] || { echo "docs/sepack.1: $warnings" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
check "$work/prefix/bin/sepack" "cmake --install"

rm -f "$build"/sekit_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/sekit_*.deb)
dpkg-deb -f "$deb" Depends | grep -q libgcab
dpkg-deb -x "$deb" "$work/root"
check "$work/root/usr/bin/sepack" "$(basename "$deb")"
