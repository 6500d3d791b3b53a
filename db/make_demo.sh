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
#   DIR/lock                   the embedded engine's lock files (unless
#                              FIREBIRD_LOCK is set already)
# and exports LEDGARA_HKLM=DIR/hklm.reg and FIREBIRD_LOCK.

contardc_make_demo() {
  local dir="${1:?usage: contardc_make_demo DIR}"
  local here
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  mkdir -p "$dir" || return 1
  dir="$(cd "$dir" && pwd)"
  local db="$dir/datos/01/ledgara.fdb"
  local password="tallowbin"

  # The embedded engine's lock files: by default in /tmp/firebird, which
  # belongs to whoever used the engine first on the machine and refuses
  # everyone else. Unless the caller names a folder, they go to DIR/lock
  # (mode 0700) beside the database, the same folder on every call, and the
  # tool started afterwards inherits it.
  if [ -z "${FIREBIRD_LOCK:-}" ]; then
    export FIREBIRD_LOCK="$dir/lock"
    mkdir -p -m 700 "$FIREBIRD_LOCK" && chmod 700 "$FIREBIRD_LOCK" || return 1
  else
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
