#!/usr/bin/env bash
# Demo installation of the ERP for ./run.sh and the screenshots. Source this
# file, then call: contardc_make_demo DIR
#
# Under DIR it makes (once; later calls only top up today's receipts):
#   DIR/erp/SERVIDORES.cfg     the server list: "DIR" (embedded, no server
#                              needed) and "127.0.0.1/3051:DIR" (a server on
#                              port 3051, when one runs)
#   DIR/hklm.reg               registry export naming DIR/erp as the
#                              installation directory
#   DIR/datos/01/ledgara.fdb   company 01: user SYSDBA, password "tallowbin",
#                              receipts of today, yesterday and 2003/01/20
# and exports LEDGARA_HKLM=DIR/hklm.reg.

contardc_make_demo() {
  local dir="${1:?usage: contardc_make_demo DIR}"
  local here
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  mkdir -p "$dir" || return 1
  dir="$(cd "$dir" && pwd)"
  local db="$dir/datos/01/ledgara.fdb"
  local password="tallowbin"

  # The embedded engine keeps its lock files in /tmp/firebird, writable only
  # by root and the firebird group; anyone else gets a lock folder of their
  # own, fine for a database that no server opens.
  if [ "$(id -u)" -ne 0 ] && ! { [ -d /tmp/firebird ] && [ -w /tmp/firebird ]; }; then
    export FIREBIRD_LOCK="$dir/lock"
    mkdir -p "$FIREBIRD_LOCK" || return 1
  fi

  mkdir -p "$dir/erp" "$dir/datos/01" || return 1
  printf '%s\r\n%s\r\n' "$dir" "127.0.0.1/3051:$dir" > "$dir/erp/SERVIDORES.cfg" || return 1
  local value="$dir/erp"
  value="${value//\\/\\\\}"
  value="${value//\"/\\\"}"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026]\r\n"Directorio"="%s"\r\n\r\n' \
    "$value" > "$dir/hklm.reg" || return 1
  export LEDGARA_HKLM="$dir/hklm.reg"

  if [ ! -s "$db" ]; then
    local tmp="$db.new"
    rm -f "$tmp"
    printf "create database '%s' user 'SYSDBA' password '%s' page_size 8192 default character set NONE;\n" \
      "$tmp" "$password" | isql-fb -q -b >/dev/null || { rm -f "$tmp"; return 1; }
    isql-fb -q -b -user SYSDBA -password "$password" -i "$here/schema.sql" "$tmp" >/dev/null \
      || { rm -f "$tmp"; return 1; }
    # Only a complete database takes the real name, so an interrupted run is made again.
    mv "$tmp" "$db" || return 1
  fi
  isql-fb -q -b -user SYSDBA -password "$password" -i "$here/seed.sql" "$db" >/dev/null || return 1
}
