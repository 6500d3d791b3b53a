#!/usr/bin/env bash
# Fetches a Debian source package with apt's own source download, from the
# archive this machine already uses for its binary packages: the deb lines of
# its sources become deb-src lines in a private apt configuration, so the
# machine's own configuration is left as it is. apt checks the package's
# signature and every file's checksum on the way.
# Sourced; provides contardc_fetch_debian_source PACKAGE VERSION DEST.

# contardc_debian_source_apt STATE: writes the private configuration under
# STATE and prints the path of its apt.conf, for APT_CONFIG. Paths are quoted
# in it, so a folder whose name has spaces serves as well.
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
  # apt reads the machine's own apt.conf.d (its proxy, say) as well.
  # apt.conf strings are double-quoted and cannot hold a double quote.
  case "$state" in *'"'*) echo "contardc_debian_source_apt: a folder name with a double quote: $state" >&2; return 1 ;; esac
  {
    cat <<CONF
Dir::Etc::SourceList "$state/etc/sources.list";
Dir::Etc::SourceParts "$state/etc/sources.list.d";
Dir::State::Lists "$state/lists";
Dir::Cache "$state/cache";
Dir::State::status "/var/lib/dpkg/status";
Debug::NoLocking "1";
APT::Sandbox::User "$(id -un)";
CONF
  } > "$state/apt.conf"
  echo "$state/apt.conf"
}

# PACKAGE: source package name; VERSION: exact version, or "" for the archive's;
# DEST: folder to unpack into (created). Prints the unpacked tree's path.
contardc_fetch_debian_source() {
  local pkg="$1" version="$2" dest="$3"
  mkdir -p "$dest"
  local conf
  conf="$(contardc_debian_source_apt "$dest/.apt")" || return 1
  APT_CONFIG="$conf" apt-get -qq update >&2 || return 1
  command -v dpkg-source >/dev/null || { echo "dpkg-source missing: install dpkg-dev" >&2; return 1; }
  local wanted="$pkg"
  [ -n "$version" ] && wanted="$pkg=$version"
  (cd "$dest" && APT_CONFIG="$conf" apt-get -qq source "$wanted" >&2) || return 1
  find "$dest" -mindepth 1 -maxdepth 1 -type d -name "${pkg}-*" | head -n1
}
