#!/usr/bin/env bash
# Fetches a Debian source package with apt's own source download, from the
# archive this machine already uses for its binary packages: the deb lines of
# its sources become deb-src lines in a private apt configuration, so the
# machine's own configuration is left as it is. apt checks the package's
# signature and every file's checksum on the way.
# Sourced; provides contardc_fetch_debian_source PACKAGE VERSION DEST.

contardc_debian_source_apt() {
  local state="$1"
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/etc/sources.list.d"
  : > "$state/etc/sources.list"
  local f
  # One-line style: deb [opts] URI suite comps
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    grep -E '^[[:space:]]*deb[[:space:]]' "$f" | sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' >> "$state/etc/sources.list" || true
  done
  # deb822 style: only the stanzas of Debian's own archive keyring.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN{RS=""; ORS="\n\n"} /debian-archive-keyring/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" \
      > "$state/etc/sources.list.d/$(basename "$f")"
  done
  echo "-o Dir::Etc::SourceList=$state/etc/sources.list -o Dir::Etc::SourceParts=$state/etc/sources.list.d" \
       "-o Dir::State::Lists=$state/lists -o Dir::Cache=$state/cache -o Dir::State::status=/var/lib/dpkg/status" \
       "-o Debug::NoLocking=1 -o APT::Sandbox::User=$(id -un)"
}

# PACKAGE: source package name; VERSION: exact version, or "" for the archive's;
# DEST: folder to unpack into (created). Prints the unpacked tree's path.
contardc_fetch_debian_source() {
  local pkg="$1" version="$2" dest="$3"
  mkdir -p "$dest"
  local opts
  opts="$(contardc_debian_source_apt "$dest/.apt")"
  # shellcheck disable=SC2086
  apt-get $opts -qq update >&2 || return 1
  command -v dpkg-source >/dev/null || { echo "dpkg-source missing: install dpkg-dev" >&2; return 1; }
  local spec="$pkg"
  [ -n "$version" ] && spec="$pkg=$version"
  # shellcheck disable=SC2086
  (cd "$dest" && apt-get $opts -qq source "$spec" >&2) || return 1
  find "$dest" -mindepth 1 -maxdepth 1 -type d -name "${pkg}-*" | head -n1
}
