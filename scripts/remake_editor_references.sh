#!/usr/bin/env bash
# Remakes the editor's reference pictures (tests/apps/references) after a deliberate change of
# its look: builds the tool and the snapshot test, then lets the test write its pictures as the
# new references. Review the pictures before committing them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target plumbrook apps_snapshot_test
PLUMBROOK_BUILD_DIR="$PWD/$build" PLUMBROOK_REMAKE_REFERENCES=1 "$build/tests/apps_snapshot_test" \
  --gtest_filter='Snapshot.*reference*'
git status --short tests/apps/references
