#!/usr/bin/env bash
# Checks the format descriptions in this folder: installs the description
# compiler and its runtime from the npm registry into node_modules here,
# builds the scenario into a scratch folder, decodes its three files with
# the descriptions under Node.js and compares every value with
# `scenarioc dump --json --all`.
#
#   docs/formats/check.sh [BUILD_DIR]    (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"

command -v npm >/dev/null || "$root/scripts/install-deps" nodejs npm
(cd "$here" && npm ci --no-audit --no-fund --loglevel=error)

# The scenario program writes beside its own executable: run a copy.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$build/bin/scenario" "$work/"
env -u DISPLAY "$work/scenario"
node "$here/check.js" "$build/bin/scenarioc" "$work"
