#!/usr/bin/env bash
# Runs browser/<name>.test.mjs. Without node: a failure as root (the test
# command installs it), a skip (77) for an ordinary user.
if ! command -v node > /dev/null; then
  echo "node is missing: install the Debian package nodejs" >&2
  [[ $(id -u) -eq 0 ]] && exit 1
  exit 77
fi
exec node "$(dirname "$0")/$1.test.mjs"
