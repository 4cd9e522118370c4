#!/usr/bin/env bash
# Takes the README's pictures again after a change to the windows: builds the
# screenshots tool, runs it on a virtual X display and keeps the main window
# (with an encrypted text), the Encrypt dialog and the composer in docs/.
#   tools/readme-screenshots.sh [BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target screenshots
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
# A fixed screen and no desktop settings of the user's, so the pictures
# change only when the windows do.
env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$shots/config" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/screenshots" "$shots"
mkdir -p docs
cp "$shots/main.png" docs/main-window.png
cp "$shots/TForm2.png" docs/encrypt-dialog.png
cp "$shots/TForm9.png" docs/composer.png
ls -l docs/main-window.png docs/encrypt-dialog.png docs/composer.png
