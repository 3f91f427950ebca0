#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: with Qt 6 (in build/), then
# with Qt 5 (in build-qt5/), then the suites of the portable code paths (build-portable/; see
# scripts/build.sh). KORVANE_QT=5 or 6 runs one Qt only; KORVANE_PORTABLE=1 runs every suite
# on the portable code paths. Arguments go to ctest.
# KORVANE_SANITIZE=address,undefined ./test.sh (or =thread) runs them under sanitizers.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

failed=()
# run <label> <ctest arguments...>, in the build folder that scripts/build.sh prints
run() {
    local label=$1 build_dir
    shift
    build_dir=$(scripts/build.sh "${targets[@]}")
    echo "=== $label ($build_dir)"
    if ! (cd "$build_dir" && ctest --output-on-failure -j"$(nproc)" "$@"); then
        failed+=("$label")
    fi
}

targets=()
for qt in ${KORVANE_QT:-6 5}; do
    KORVANE_QT=$qt run "Qt $qt" "$@"
done
# Only these suites reach code that differs on the portable paths (the histories, the
# recording files, the port scan), so only they are built and run again.
if [ "${KORVANE_PORTABLE:-0}" = 0 ] && [ -z "${KORVANE_QT:-}" ]; then
    suites=(tst_core tst_portscan tst_recordingformat tst_saveunit)
    targets=("${suites[@]}")
    KORVANE_PORTABLE=1 run "portable code paths" -R "^($(IFS='|'; echo "${suites[*]}"))\$" "$@"
fi

if [ ${#failed[@]} -gt 0 ]; then
    echo "Failed: ${failed[*]}" >&2
    exit 1
fi
