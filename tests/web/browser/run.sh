#!/usr/bin/env bash
# Runs one browser test file: browser/<name>.test.mjs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v node > /dev/null; then
  if [[ $(id -u) -eq 0 ]]; then
    echo "FAIL: node is missing (Debian package nodejs)" >&2
    exit 1
  fi
  echo "SKIP: node is missing: install the Debian package nodejs" >&2
  exit 77
fi
exec node "$here/$1.test.mjs"
