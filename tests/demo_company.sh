# The demo company (db/make_demo.sh) as the tests that drive the whole
# program use it: every point of sale with its accounts in both ledgers
# (tests/app/all_accounts.sql), so that one run posts every receipt of the
# day and the next finds none left; and the count of what is left to post.
# Sourced, not run, by tests/ui/real_window_test.sh,
# tests/deb/deb_package_test.sh, tests/win/posting_under_wine.sh and
# tests/win/msi_under_wine.sh:
#
#   source tests/demo_company.sh
#   demo_company "$work/demo" || fail "the demo company"
#   before="$(unposted)" || fail "..."
#
#   demo_company D      makes the demo installation under D with the embedded
#                       engine and gives every point of sale its accounts.
#                       As make_demo.sh does, it exports LEDGARA_HKLM (the
#                       installation's registry export, whose server list
#                       names D first) and FIREBIRD_LOCK (D/lock unless the
#                       caller set one). Sets demo_database to the company's
#                       file and demo_day to today, read once: a run across
#                       midnight is checked against the day it began.
#   demo_sql [ARGS...]  isql-fb on demo_database as SYSDBA with demo_password
#                       (the demo's own, "tallowbin"; a test that has a server
#                       of its own open the file sets both to reach it there),
#                       the statements on standard input.
#   demo_count          the count that the query on standard input gives;
#                       status 1, with what isql said on standard error, when
#                       it gives anything else.
#   unposted [LEDGER]   receipts of demo_day that the ledger (L, the plain
#                       procedure's, by default; N, the IFRS one's) can post
#                       and has not posted; status 1 when it cannot be read,
#                       so that "$(unposted)" is never an empty string that
#                       compares equal to another.

contardc_demo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
demo_database="" demo_password=tallowbin demo_day=""

demo_company() {
  local dir="$1"
  # shellcheck source=db/make_demo.sh
  source "$contardc_demo_root/db/make_demo.sh"
  contardc_make_demo "$dir" >/dev/null || return 1
  demo_database="$(cd "$dir" && pwd)/datos/01/ledgara.fdb"
  demo_password=tallowbin
  demo_day="$(date +%F)"
  demo_sql -i "$contardc_demo_root/tests/app/all_accounts.sql" >/dev/null </dev/null
}

demo_sql() {
  isql-fb -q -b -user SYSDBA -password "$demo_password" "$@" "$demo_database"
}

demo_count() {
  local out err status=0
  err="$(mktemp)" || return 1
  out="$({ echo "set heading off;"; cat; } | demo_sql 2>"$err")" || status=$?
  out="$(tr -d ' \r\n' <<<"$out")"
  if [ "$status" -ne 0 ] || ! [[ "$out" =~ ^[0-9]+$ ]]; then
    echo "the count could not be read from $demo_database (isql-fb exit $status): $out $(cat "$err")" >&2
    rm -f "$err"
    return 1
  fi
  rm -f "$err"
  echo "$out"
}

unposted() {
  local ledger="${1:-L}" column=COMP_ID
  [ "$ledger" = L ] || column=COMP_NIIF_ID
  demo_count <<SQL
select count(*) from RECIBO_CAJA r where r.RECI_FECHA = date '$demo_day' and r.$column is null
  and exists (select 1 from CUENTA_PUNTO_VENTA c where c.PTVT_ID = r.PTVT_ID and c.LIBRO = '$ledger');
SQL
}
