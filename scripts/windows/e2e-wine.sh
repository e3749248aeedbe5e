#!/usr/bin/env bash
# Runs the Windows build's Prismor.exe end to end under Wine, as a Windows user would: a fresh
# prefix on a virtual desktop of its own, keyboard only, the screen read back by OCR. Needs wine,
# Xvfb, openbox, xdotool, x11-utils, imagemagick and tesseract-ocr (English).
#   scripts/windows/e2e-wine.sh [BUILD_DIR [ARTIFACTS_DIR]] [--wrong-expectations]
# BUILD_DIR defaults to build-windows (or $PRISMOR_WINDOWS_BUILD_DIR), ARTIFACTS_DIR to
# BUILD_DIR/e2e-wine-artifacts; screenshots, OCR texts and logs are left there.
set -euo pipefail
cd "$(dirname "$0")/../.."
options=()
positional=()
for argument in "$@"; do
    case $argument in
        -*) options+=("$argument") ;;
        *) positional+=("$argument") ;;
    esac
done
build_dir=${positional[0]:-${PRISMOR_WINDOWS_BUILD_DIR:-build-windows}}
artifacts=${positional[1]:-$build_dir/e2e-wine-artifacts}
export PYTHONDONTWRITEBYTECODE=1  # nothing written into the source tree
exec python3 scripts/windows/e2e-wine.py --build "$build_dir" --artifacts "$artifacts" \
    ${options[@]+"${options[@]}"}
