#!/usr/bin/env bash
# Start-up under Wine: the trainer of the portable folder against a bare Qt main window built with
# the same Qt for Windows and run from the same folder, both timed by bench_startup_bench (launch
# until the X server maps the window, interleaved runs, medians and their ratio) in one fresh Wine
# prefix. Needs scripts/windows/build and the Linux build's benchmarks in build/.
# Usage: bench/wine_startup.sh [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
qt=$("$top/scripts/windows/build-qt" --cached) || { echo "no Qt for Windows yet: run scripts/windows/build" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$top"/build-windows/stage/*-windows-x64 "$work/program"
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -DUNICODE -D_UNICODE "$top/bench/bare_window.cpp" \
  -isystem "$qt/include" -isystem "$qt/include/QtCore" -isystem "$qt/include/QtGui" -isystem "$qt/include/QtWidgets" \
  -L"$qt/lib" -lQt6Widgets -lQt6Gui -lQt6Core -s -o "$work/program/bare_window.exe"
# What the benchmark starts: Wine with the program, which takes Windows' own platform plugin.
for program in korsa-sorvena-trainer bare_window; do
  printf '#!/bin/sh\nunset QT_QPA_PLATFORM\nexec wine "%s"\n' "$work/program/$program.exe" >"$work/$program"
  chmod +x "$work/$program"
done
# Once the prefix's boot has ended, so that every Wine process runs on the benchmark's own X server.
"$top/tests/windows/wine.sh" sh -c 'wineserver -w && exec "$@"' sh "$top/build/bench/bench_startup_bench" "${1:-10}" \
  "$work/korsa-sorvena-trainer" "$work/bare_window"
