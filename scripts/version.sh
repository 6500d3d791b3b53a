#!/usr/bin/env bash
# The product's version, written once: project(contardc VERSION ...) in the
# top-level CMakeLists.txt. Sourced by the scripts that name artefacts
# (the zip, the MSI, the .deb, the checksum files); the programs get it from
# CMake (PROJECT_VERSION).
contardc_version() {
  local root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  local v
  v="$(sed -n 's/^project(contardc VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$root/CMakeLists.txt")"
  [ -n "$v" ] || { echo "contardc_version: no version in $root/CMakeLists.txt" >&2; return 1; }
  printf '%s\n' "$v"
}
