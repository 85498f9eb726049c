#!/usr/bin/env bash
# Signed packages end to end under Wine: a throw-away certificate from openssl, packages signed
# with osslsigncode, checked by osslsigncode, sepack list and verify, and run by the stub.
#   wine-signed.sh EXTRACTOR.exe RUX_PROBE.exe MAKE_TEST_PACKAGE.exe
# sepack is the native one: $SEPACK, else the sibling native build's (build/bin/sepack beside
# this build folder). The loader follows the stub's machine type: wine64 in $WINEPREFIX for
# x86_64, wine32 in $WINEPREFIX32 for i686. Every i686 process start costs about a minute under
# emulation, so the i686 run takes only the package made by sepack.
#
# Cases: a package made by sepack make (aligned: signing adds no padding) and, on x86_64, one
# made by a writer that does not align it (signing pads it); each is signed, verified by
# osslsigncode, read as signed by sepack list and verify, and answered Yes: rux.exe runs and the
# work folder goes. One flipped payload byte makes osslsigncode verify fail.
set -euo pipefail
STUB=$1 PROBE=$2 MAKE=$3
export WINEDEBUG=-all
SEPACK=${SEPACK:-$(dirname "$(dirname "$(realpath "$STUB")")")/../build/bin/sepack}
[ -x "$SEPACK" ] || { echo "no native sepack at $SEPACK: build the native sepack first" >&2; exit 1; }

. "$(dirname "$0")/wine-lib.sh"
wine_for "$STUB"
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
start_display
echo "stub: $arch under $WINE"

# The certificate table's file offset, as sepack list reports it.
table_at() { "$SEPACK" list "$1" | sed -n 's/^signed: yes (certificate table of [0-9]* bytes at byte \([0-9]*\).*/\1/p'; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -days 2 -subj "/CN=sekit test signer" >/dev/null 2>&1
sign() { # in out
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "sekit test" \
    -in "$1" -out "$2" >/dev/null
}
verifies() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }

mkdir "$work/app"
cp "$PROBE" "$work/app/rux.exe"
printf 'hello' > "$work/app/a.txt"
export SE_TEST_MARK="$(winpath "$work/mark")"
"$SEPACK" make -q -o "$work/made.exe" --stub "$STUB" --prompt "Signed?" "$work/app"
packages=(made)
if [ $arch = x86_64 ]; then
  # The tests' own writer appends the plain layout; a prompt one byte longer if that happens to
  # come out aligned.
  for prompt in "Unaligned?" "Unaligned??"; do
    $WINE "$MAKE" "$(winpath "$work/plain.exe")" "$(winpath "$STUB")" "$prompt" \
      "rux.exe=$(winpath "$work/app/rux.exe")" "a.txt=$(winpath "$work/app/a.txt")"
    [ $(($(stat -c %s "$work/plain.exe") % 8)) != 0 ] && break
  done
  packages+=(plain)
fi

for p in "${packages[@]}"; do
  sign "$work/$p.exe" "$work/$p-signed.exe"
  size=$(stat -c %s "$work/$p.exe")
  at=$(table_at "$work/$p-signed.exe")
  if [ $p = made ]; then
    check "$p: signing added no padding (table at $at, package $size bytes)" test "$at" = "$size"
  else
    check "$p: signing padded it (table at $at, package $size bytes)" test "$at" -gt "$size"
  fi
  check "$p: osslsigncode verify accepts it" verifies "$work/$p-signed.exe"
  check "$p: sepack verify finds it sound and signed" \
    bash -c "'$SEPACK' verify '$work/$p-signed.exe' | grep -q '^signed: yes'"
  before=$(work_folders)
  rm -f "$work/mark"
  rc=$(answer "$work/$p-signed.exe" "Quillmark Extractor" y)
  check "$p: signed package runs: exit code 0 ($rc)" test "$rc" = 0
  check "$p: rux.exe ran" grep -q '^ran 0 ' "$work/mark"
  check "$p: work folder removed" test "$(work_folders)" = "$before"
done

# Signing covers the payload: one flipped byte in the middle of the entry is caught.
cp "$work/made-signed.exe" "$work/tampered.exe"
middle=$(( ($(stat -c %s "$STUB") + $(stat -c %s "$work/made.exe")) / 2 ))
byte=$(od -An -tu1 -j $middle -N 1 "$work/tampered.exe" | tr -d ' ')
printf "\\x$(printf %02x $((byte ^ 1)))" | dd of="$work/tampered.exe" bs=1 seek=$middle conv=notrunc status=none
check "tampered: osslsigncode verify fails" bash -c "! osslsigncode verify -CAfile '$work/cert.pem' -in '$work/tampered.exe' >/dev/null 2>&1"
rm -rf "$temp"/se_*

exit $fail
