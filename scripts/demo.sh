#!/usr/bin/env bash
# The main job, from a fresh Debian machine: install what is missing, build all three builds,
# make a package from examples/hello and run it, so that you see the question, the
# extraction and the greeting; then make the same package for Windows (not run here).
# Answer the question yourself on a terminal; otherwise the demo answers "y".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh all
: "${BUILD_NATIVE:=build}" "${BUILD_WIN64:=build-win64}" "${BUILD_WIN32:=build-win32}"
SEPACK="$BUILD_NATIVE/bin/sepack"
PROMPT="Unpack the hello example and run it?"
mkdir -p out

echo
echo "== sepack make: a package from the folder examples/hello"
"$SEPACK" make -o out/hello-setup --prompt "$PROMPT" examples/hello

echo
echo "== sepack list out/hello-setup"
"$SEPACK" list out/hello-setup

echo
echo "== running out/hello-setup"
code=0
if [ -t 0 ]; then
  out/hello-setup || code=$?
else
  echo "(standard input is not a terminal: answering y)"
  echo y | out/hello-setup || code=$?
fi
echo "(out/hello-setup ended with exit code $code)"

echo
echo "== the same package for Windows (not run here), with a Windows rux.exe that greets"
# sepack finds the Windows stubs in the build folders beside its own; moved folders are named.
for t in win32 win64; do
  dir=BUILD_${t^^}
  if [ "${!dir}" = "build-$t" ] && [ "$BUILD_NATIVE" = build ]; then
    stub=(--target "$t")
  else
    stub=(--stub "${!dir}/bin/extractor.exe")
  fi
  rm -rf "out/hello-$t" && mkdir -p "out/hello-$t"
  cp "${!dir}/bin/rux.exe" examples/hello/README.txt "out/hello-$t/"
  "$SEPACK" make -o "out/hello-setup-$t.exe" --prompt "$PROMPT" "${stub[@]}" "out/hello-$t"
done
echo
echo "Windows packages: out/hello-setup-win32.exe (the 32-bit product), out/hello-setup-win64.exe"
echo "(under Wine, with a display: /usr/lib/wine/wine out/hello-setup-win32.exe,"
echo " /usr/lib/wine/wine64 out/hello-setup-win64.exe)"
