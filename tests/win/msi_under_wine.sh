#!/usr/bin/env bash
# The Windows installer as an IT administrator uses it, under Wine on a
# virtual desktop (Xvfb with openbox) in a Wine prefix of its own:
#
#   - its tables (msiinfo): every file of the program folder in the File
#     table, at its place and with its size; ProductVersion the project's
#     version, Manufacturer the publisher, the fixed UpgradeCode, ALLUSERS=1,
#     a 64-bit package; the Start menu shortcut; the upgrade rows, the
#     downgrade refusal and RemoveExistingProducts;
#   - msiexec /i /qn: exit 0, every file of the folder under
#     C:\Program Files\contardc with the same bytes, the Start menu shortcut,
#     one entry in Apps & Features with version, publisher and icon; the
#     version resource of the installed contardc.exe and contardc_window.dll as
#     Windows reads it (version_probe.cpp); the event source "contardc" in the
#     Application log (EventMessageFile REG_EXPAND_SZ, the installed
#     contardc.exe; TypesSupported REG_DWORD 7), and each exit code's event
#     ID described from its message table as Event Viewer does it
#     (event_source_probe.cpp);
#   - the installed program: the window "Contabilizar recibos" appears,
#     its process aware of each monitor's DPI (Qt's own report, with no
#     warning about it but the one that Wine's want of per-monitor v2
#     contexts causes),
#     Esc ends it with exit 0; with five arguments, the password from
#     standard input, it posts the day's receipts of the demo company on a
#     Firebird server of the test's own and exits 0;
#   - another build of the same version installs over it, and an MSI of a
#     higher version made from the same .wxs replaces it: one product left;
#     the older MSI is then refused with the downgrade message, nothing
#     changed; msiexec /x removes every file, the folder, the shortcut, the
#     Apps & Features entry, the shortcut's registry value and the event
#     source's key.
#
#   tests/win/msi_under_wine.sh
#
# Takes build-windows/contardc-<version>-x64.msi and the folder it was made
# from, build-windows/contardc (scripts/build-windows.sh makes both). Exits 1
# when a check failed or a tool is missing, 77 after one "SKIPPED" line when
# the MSI is.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-windows"
folder="$build/contardc"
# The identity of contardc across its versions, as packaging/windows/contardc.wxs
# fixes it: an MSI with another one would install beside the old version.
upgrade_code='{862FB8D7-92AB-4960-A7B8-024BB4C87A2C}'

skip() {
  echo "SKIPPED windows_msi: $*"
  exit 77
}
# Once the MSI is built, the machine that built it has what the test needs
# (scripts/build-windows.sh installs it): a tool missing then is a broken
# machine, not a test to leave out.
broken() {
  echo "FAIL   $*; the MSI is built, and the machine that built it should have what its test needs (scripts/deps.sh)"
  exit 1
}
source "$root/scripts/version.sh"
version="$(contardc_version)" || exit 1
msi="$build/contardc-$version-x64.msi"
[ -f "$msi" ] && [ -f "$folder/contardc.exe" ] ||
  skip "no $msi or no $folder (scripts/build-windows.sh makes them once Qt for Windows is built)"
for tool in msiinfo:msitools wixl:wixl isql-fb:firebird3.0-utils; do
  command -v "${tool%%:*}" >/dev/null || broken "${tool%%:*} is not installed (Debian package ${tool#*:})"
done
[ -x /usr/sbin/firebird ] || broken "the Firebird server is not installed (Debian package firebird3.0-server)"
source "$here/wine_desktop.sh"
source "$root/tests/demo_company.sh"
wd_find_tools || broken "$wd_missing"
cxx=""
for c in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
  command -v "$c" >/dev/null && { cxx="$c"; break; }
done
[ -n "$cxx" ] || broken "the MinGW-w64 cross-compiler is not installed (Debian package g++-mingw-w64-x86-64)"
publisher="$(sed -n 's/^CONTARDC_PUBLISHER:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null)"
[ -n "$publisher" ] || broken "no CONTARDC_PUBLISHER in $build/CMakeCache.txt (scripts/build-windows.sh sets it)"

work="$(mktemp -d "${TMPDIR:-/tmp}/contardc-msi.XXXXXX")"
app=""
cleanup() {
  [ -z "$app" ] || kill "$app" 2>/dev/null
  wd_stop
  "$root/tests/posting/fbserver_stop.sh" "$work/fb" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
pass() { echo "PASS   $*"; }
fail() { failures=$((failures + 1)); echo "FAIL   $*"; }
check_that() { # DESCRIPTION 'SHELL CONDITION'
  if eval "$2"; then pass "$1"; else fail "$1"; fi
}
fatal() {
  echo "FAIL   $*"
  exit 1
}
step() { echo "== $*"; }

# The folder's files, one "PATH SIZE" line each, PATH relative with "/".
folder_list() { (cd "$1" && find . -type f -printf '%P %s\n' | LC_ALL=C sort); }
folder_sums() { (cd "$1" && find . -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0 sha256sum); }
# msiinfo export writes a table's binary streams (the Icon table's) into a
# folder of the current one: the test's own.
table() { (cd "$work" && msiinfo export "$1" "$2") | tail -n +4 | tr -d '\r'; }

# ---------------------------------------------------------------- the tables

step "the tables of $(basename "$msi")"
# Each file's path under INSTALLDIR from the Directory chain of its
# component; "." in DefaultDir is the parent itself, "short|long" the long name.
{
  table "$msi" Directory | sed 's/^/D\t/'
  table "$msi" Component | sed 's/^/C\t/'
  table "$msi" File | sed 's/^/F\t/'
} | awk -F'\t' '
  function long(n) { sub(/^[^|]*\|/, "", n); return n }
  function path(d,  p) {
    if (d == "INSTALLDIR") return ""
    if (!(d in parent)) return "?" d "?"
    p = path(parent[d])
    if (p ~ /^\?/) return p
    return (name[d] == ".") ? p : p name[d] "/"
  }
  $1 == "D" { parent[$2] = $3; name[$2] = long($4) }
  $1 == "C" { dir[$2] = $4 }
  $1 == "F" { files[$2] = $3; size[$2] = $5; fname[$2] = long($4) }
  END { for (f in files) print path(dir[files[f]]) fname[f], size[f] }' | LC_ALL=C sort >"$work/msi-files"
folder_list "$folder" >"$work/folder-files"
check_that "the File table holds every file of the folder, at its place, with its size ($(wc -l <"$work/folder-files") files)" \
  'cmp -s "$work/msi-files" "$work/folder-files" || { diff "$work/folder-files" "$work/msi-files" | head -n 20; false; }'
table "$msi" Property >"$work/property"
prop() { awk -F'\t' -v p="$1" '$1 == p { print $2 }' "$work/property"; }
for expected in "ProductVersion=$version" "Manufacturer=$publisher" "UpgradeCode=$upgrade_code" "ALLUSERS=1" \
  "ProductName=contardc" "ARPPRODUCTICON=contardc.ico"; do
  echo "       Property ${expected%%=*} = $(prop "${expected%%=*}")"
  check_that "Property ${expected%%=*} is \"${expected#*=}\"" '[ "$(prop "${expected%%=*}")" = "${expected#*=}" ]'
done
check_that "the product icon is in the Icon table" 'table "$msi" Icon | grep -q "^contardc.ico	"'
check_that "a 64-bit package (Template x64)" 'msiinfo suminfo "$msi" | grep -q "^Template: x64;"'
check_that "every component is 64-bit" \
  '[ -z "$(table "$msi" Component | awk -F"\t" "int(\$4 / 256) % 2 == 0")" ]'
check_that "the Start menu shortcut \"Contabilizar recibos\" to contardc.exe with the icon" \
  'table "$msi" Shortcut | awk -F"\t" "\$2 == \"ProgramMenuFolder\" && \$3 == \"Contabilizar recibos\" && \$5 == \"[INSTALLDIR]contardc.exe\" && \$9 == \"contardc.ico\"" | grep -q .'
table "$msi" Upgrade >"$work/upgrade"
# Attributes: 1 migrate features, 2 only detect, 256 minimum included.
check_that "Upgrade: older versions found to be removed" \
  'awk -F"\t" -v c="$upgrade_code" -v v="$version" "\$1 == c && \$2 == \"\" && \$3 == v && \$5 % 4 < 2 && \$7 == \"WIX_UPGRADE_DETECTED\"" "$work/upgrade" | grep -q .'
check_that "Upgrade: other builds of this version found to be removed" \
  'awk -F"\t" -v c="$upgrade_code" -v v="$version" "\$1 == c && \$2 == v && \$5 == 256 && \$7 == \"WIX_UPGRADE_DETECTED\"" "$work/upgrade" | grep -q .'
check_that "Upgrade: newer versions only detected, and refused" \
  'awk -F"\t" -v c="$upgrade_code" -v v="$version" "\$1 == c && \$2 == v && \$3 == \"\" && \$5 % 4 >= 2 && \$7 == \"WIX_DOWNGRADE_DETECTED\"" "$work/upgrade" | grep -q . &&
   table "$msi" LaunchCondition | grep -q "^NOT WIX_DOWNGRADE_DETECTED	Ya esta instalada una version mas nueva"'
check_that "RemoveExistingProducts is scheduled" 'table "$msi" InstallExecuteSequence | grep -q "^RemoveExistingProducts	"'

# ---------------------------------------------------------------- the server and the demo company

step "the demo company on a Firebird server of its own"
password="msi$RANDOM$RANDOM"
# Made with the embedded engine before the server opens the file; from then
# on only the server touches it.
export FIREBIRD_LOCK="$work/lock"
mkdir -p "$FIREBIRD_LOCK"
demo_company "$work/demo" || fatal "the demo company"
"$root/tests/posting/fbserver_start.sh" "$work/fb" 0 "$password" >"$work/fbserver.log" 2>&1 ||
  { cat "$work/fbserver.log"; fatal "the Firebird server did not start"; }
server="$(cat "$work/fb/address"):$work/demo"
demo_database="$server/datos/01/ledgara.fdb" demo_password="$password"
due="$(unposted)" || fatal "the demo company's receipts"
[ "$due" -gt 0 ] || fatal "the demo company has no receipts of today to post"

# ---------------------------------------------------------------- installing

step "a virtual display with openbox and a Wine prefix"
unset LEDGARA_FBCLIENT LEDGARA_HKLM CONTARDC_NO_WINDOW FIREBIRD_LOCK
wd_start_desktop "$work/desktop" || fatal "the virtual display"
wd_make_prefix "$work/wine" || fatal "the Wine prefix"
"$cxx" -std=c++20 -O1 -Wall -Wextra -Werror -municode -static -s -o "$work/version_probe.exe" \
  "$here/version_probe.cpp" -lversion -lshell32 || fatal "building version_probe.exe"
"$cxx" -std=c++20 -O1 -Wall -Wextra -Werror -municode -static -s -I"$root" -o "$work/event_source_probe.exe" \
  "$here/event_source_probe.cpp" || fatal "building event_source_probe.exe"
c_drive="$WINEPREFIX/drive_c"
installed="$c_drive/Program Files/contardc"
shortcut=""   # where the first install put it: see start_menu
mkdir -p "$c_drive/msi"

# msiexec ACTION MSI [ARGS...]: the MSI copied to C:\msi and run from there
# without questions, a verbose log beside it; sets msi_status.
msi_status=""
msiexec() {
  local action="$1" file="$2"
  shift 2
  cp "$file" "$c_drive/msi/"
  msi_log="$c_drive/msi/$(basename "$file").$action.log"
  msi_status=0
  "$wd_wine" msiexec "/$action" "C:\\msi\\$(basename "$file")" /qn /l*v "C:\\msi\\$(basename "$msi_log")" "$@" \
    >"$work/msiexec.out" 2>&1 || msi_status=$?
  "$wd_wineserver" -w
}
# reg.exe's listing of a key that always exists (64-bit view). A query that
# fails or lists nothing is asked again after the prefix's processes end: a
# query has once been seen to come back empty right after an msiexec.
reg_listing() { # KEY [ARGS...]
  local out
  for _ in 1 2 3; do
    out="$("$wd_wine" reg query "$@" /reg:64 2>"$work/reg.err" | tr -d '\r')" && [ -n "$out" ] &&
      { printf '%s\n' "$out"; return 0; }
    echo "       reg query $1 gave nothing ($(head -c 300 "$work/reg.err")); asked again" >&2
    "$wd_wineserver" -w
    sleep 1
  done
  return 1
}
# The Apps & Features entries of contardc (64-bit view): one line
# "DisplayName|DisplayVersion|Publisher" each. What reg.exe listed is kept in
# arp.txt, for a check that fails.
arp_entries() {
  reg_listing 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tee "$work/arp.txt" |
    awk '/^HKEY_/ { if (n == "contardc") print n "|" v "|" p; n = v = p = "" }
         $1 == "DisplayName" { n = $3 } $1 == "DisplayVersion" { v = $3 }
         $1 == "Publisher" { p = substr($0, index($0, "REG_SZ") + 10) }
         END { if (n == "contardc") print n "|" v "|" p }'
}
# Whether the Apps & Features entries read last ($arp) are contardc VERSION
# alone; when not, the keys reg.exe listed and their names and versions.
one_product() { # VERSION
  [ "$arp" = "contardc|$1|$publisher" ] && return 0
  grep -E '^HKEY_|DisplayName|DisplayVersion' "$work/arp.txt" | tail -n 40 | sed 's/^/       /'
  return 1
}
# The product's icon as Apps & Features shows it: ARPPRODUCTICON published
# as ProductIcon under the products registered for the machine.
product_icon() {
  reg_listing 'HKLM\Software\Classes\Installer\Products' /s |
    awk '$1 == "ProductIcon" { i = substr($0, index($0, "REG_SZ") + 10) } $1 == "ProductName" && $3 == "contardc" { n = 1 }
         /^HKEY_/ { if (n && i != "") print i; n = 0; i = "" } END { if (n && i != "") print i }'
}
# The Start menu folder msiexec resolved (ProgramMenuFolder, from its log),
# as a path of the prefix.
start_menu() {
  grep -a -o 'Property(S): ProgramMenuFolder = .*' "$msi_log" | head -n1 | tr -d '\r' |
    sed 's/^[^=]*= //; s/^C:\\//; s/\\/\//g; s/\/$//' | sed "s|^|$c_drive/|"
}
installed_matches_folder() {
  [ -d "$installed" ] && cmp -s <(folder_sums "$folder") <(folder_sums "$installed")
}

step "msiexec /i $(basename "$msi") /qn"
msiexec i "$msi"
check_that "msiexec /i /qn exits 0 (got $msi_status)" '[ "$msi_status" = 0 ]'
check_that "every file of the folder is in C:\\Program Files\\contardc, with the same bytes, and nothing else" \
  'installed_matches_folder || { diff <(folder_list "$folder") <(folder_list "$installed" 2>/dev/null) | head -n 20; false; }'
shortcut="$(start_menu)/Contabilizar recibos.lnk"
echo "       ProgramMenuFolder: ${shortcut#"$c_drive"/}"
check_that "the Start menu shortcut \"Contabilizar recibos\"" '[ -f "$shortcut" ]'
arp="$(arp_entries)"
echo "       Apps & Features: $arp; product icon: $(product_icon)"
check_that "one Apps & Features entry: contardc $version by $publisher" 'one_product "$version"'
check_that "its icon, contardc.ico, published for the machine" \
  'icon="$(product_icon)" && [[ "$icon" == *\\contardc.ico ]] && [ -f "$c_drive/$(sed "s/^C:.//; s/\\\\/\\//g" <<<"$icon")" ]'

step "the version resource of the installed files, as Windows reads it"
probe() { "$wd_wine" "$work/version_probe.exe" "C:\\Program Files\\contardc\\$1" 2>/dev/null | tr -d '\r'; }
IFS=. read -r v1 v2 v3 v4 <<<"$version"
fixed="${v1:-0}.${v2:-0}.${v3:-0}.${v4:-0}"
for file in contardc.exe contardc_window.dll; do
  out="$(probe "$file")"
  sed 's/^/       /' <<<"$out"
  field() { sed -n "s/^$1: //p" <<<"$out"; }
  check_that "$file: FileVersion $fixed / \"$version\", ProductVersion $fixed / \"$version\", ProductName contardc, CompanyName $publisher, OriginalFilename $file" \
    '[ "$(field "FileVersion (fixed)")" = "$fixed" ] && [ "$(field "ProductVersion (fixed)")" = "$fixed" ] &&
     [ "$(field FileVersion)" = "$version" ] && [ "$(field ProductVersion)" = "$version" ] &&
     [ "$(field ProductName)" = contardc ] && [ "$(field CompanyName)" = "$publisher" ] &&
     [ "$(field OriginalFilename)" = "$file" ]'
done
check_that "contardc.exe carries the icon" '[ "$(probe contardc.exe | sed -n "s/^Icons: //p")" -ge 1 ]'

step "the event source of the runs' entries in the Application log"
installed_exe='C:\Program Files\contardc\contardc.exe'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\contardc'
reg_value() { # NAME: "TYPE DATA" of the source's value as reg.exe shows it (64-bit view), or nothing
  "$wd_wine" reg query "$source_key" /v "$1" /reg:64 2>/dev/null | tr -d '\r' |
    awk -v n="$1" '$1 == n { t = $2; sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print t " " $0 }'
}
echo "       EventMessageFile: $(reg_value EventMessageFile); TypesSupported: $(reg_value TypesSupported)"
check_that "EventMessageFile is REG_EXPAND_SZ, the installed contardc.exe" \
  '[ "$(reg_value EventMessageFile)" = "REG_EXPAND_SZ $installed_exe" ]'
check_that "TypesSupported is REG_DWORD 7 (error, warning, information)" \
  '[ "$(reg_value TypesSupported)" = "REG_DWORD 0x7" ]'
# Wine has no Event Viewer, and its ReportEventW keeps nothing: the
# description of an entry is made here as Event Viewer makes it, from the
# registry through the message table, for the event ID of every exit code,
# with a text that only Unicode holds whole as the entry's string.
event_text="3 CONTABILIZADO; días: 2026-12-01 a 2026-12-04 (€, Д)"
probe_status=0
"$wd_wine" "$work/event_source_probe.exe" contardc "$event_text" 2>/dev/null >"$work/event-source" || probe_status=$?
tr -d '\r' <"$work/event-source" | sed 's/^/       /'
check_that "the message file Event Viewer loads is the installed contardc.exe (probe exit code $probe_status)" \
  '[ "$probe_status" = 0 ] && tr -d "\r" <"$work/event-source" | grep -qxF "Expanded: $installed_exe"'
check_that "the message of each exit code's event ID is the entry's text, whole and alone" \
  'tr -d "\r" <"$work/event-source" | awk -v t="$event_text" "/^[0-9]+: / { n++; if (substr(\$0, index(\$0, \": \") + 2) != t) bad++ }
     END { exit !(n > 0 && bad == 0) }"'

# ---------------------------------------------------------------- the installed program

step "the installed program"
printf '%s\r\n' "$server" >"$work/demo/erp/SERVIDORES.cfg"
wd_reg_add 'HKLM\Software\Vantel\LedgaraERP2026' Directorio REG_SZ "Z:${work//\//\\}\\demo\\erp" ||
  fatal "writing the ERP's registry value"
exe='C:\Program Files\contardc\contardc.exe'
# Qt's messages to standard error (a program without a console sends them
# to the debugger otherwise), so that a warning would show, with the debug
# messages of Qt's Windows platform code, which say what DPI awareness the
# process ended up with. Set in the prefix: Wine hands a Windows program no
# variable named QT_... from this shell.
wd_windows_env QT_FORCE_STDERR_LOGGING 1 || fatal "Qt's logging settings in the prefix"
wd_windows_env QT_LOGGING_RULES 'qt.qpa.windows.debug=true' || fatal "Qt's logging settings in the prefix"
start() { # ARGS...: the installed program, standard input from $stdin_file
  (cd "$installed" && exec "$wd_wine" "$exe" "$@") <"${stdin_file:-/dev/null}" >"$work/out.log" 2>"$work/err.log" &
  app=$!
}
start
if win="$(wd_wait_window '^Contabilizar recibos$' "$app" 60)"; then
  pass "the window \"Contabilizar recibos\" appears"
  wd_wait_settled "$win" 20 || true
  wd_press "$win" Escape
  if wd_wait_exit "$app" 30; then
    check_that "Esc ends it with exit code 0 (got $wd_status)" '[ "$wd_status" = 0 ]'
  else
    fail "Esc did not end the program"
  fi
else
  fail "the window \"Contabilizar recibos\" did not appear: $(cat "$work/err.log")"
fi
app=""
# The manifest makes the process aware of each monitor's DPI from its first
# instruction; Qt then finds that set and says nothing. Wine 8 has no
# per-monitor v2 context (Windows 10's): Qt's request for one fails there
# with "invalid parameter" and it settles for per-monitor awareness, which
# it reports; that one warning is Wine's.
check_that "the window's process is aware of each monitor's DPI, as Qt reports it" \
  'grep -E -q "DpiAwareness: DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2|effective process DPI awareness= 2" "$work/err.log"'
check_that "no other warning from Qt about the DPI awareness" \
  '! grep -a "DpiAwareness.*failed" "$work/err.log" |
     grep -v -F "SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) failed: COM error 0x57"'

due="$(unposted)" || fatal "the receipts to post"
printf '%s\r\n' "$password" >"$work/password.txt"
stdin_file="$work/password.txt" start "$server" SYSDBA - 01 N --log -
if wd_wait_exit "$app" 120; then
  check_that "five arguments, the password from standard input: exit code 0 (got $wd_status)" '[ "$wd_status" = 0 ]'
else
  fail "the run with five arguments did not end"
fi
app=""
left="$(unposted)" || fatal "the receipts left"
check_that "it posted the day's $due receipts ($left left)" '[ "$left" = 0 ]'

# ---------------------------------------------------------------- upgrades, downgrade, removal

# MSIs of the same .wxs and files as the build's, with the version given.
make_msi() { # VERSION FILE
  IFS=. read -r m1 m2 m3 _ <<<"$1"
  (cd "$build" && wixl -a x64 -D "Version=$1" -D "NextBuild=$m1.${m2:-0}.$((${m3:-0} + 1))" \
    -D "Publisher=$publisher" -D SourceDir=contardc -D Icon=msi/contardc.ico -o "$2" \
    "$root/packaging/windows/contardc.wxs" msi/files.wxs) >"$work/wixl.log" 2>&1 ||
    { cat "$work/wixl.log"; fatal "wixl could not make $2"; }
}
step "another build of $version over the installed one"
mkdir -p "$work/rebuild"
make_msi "$version" "$work/rebuild/contardc-$version-x64.msi"
msiexec i "$work/rebuild/contardc-$version-x64.msi"
check_that "msiexec /i exits 0 (got $msi_status)" '[ "$msi_status" = 0 ]'
arp="$(arp_entries)"
check_that "one product left, contardc $version ($(wc -l <<<"$arp") entries: $(tr '\n' ' ' <<<"$arp"))" \
  'one_product "$version"'
check_that "the files still all there" 'installed_matches_folder'

newer="${v1}.$((${v2:-0} + 1))"
step "contardc $newer over $version"
make_msi "$newer" "$work/contardc-$newer-x64.msi"
msiexec i "$work/contardc-$newer-x64.msi"
check_that "msiexec /i exits 0 (got $msi_status)" '[ "$msi_status" = 0 ]'
arp="$(arp_entries)"
check_that "one product left, contardc $newer ($(wc -l <<<"$arp") entries: $(tr '\n' ' ' <<<"$arp"))" \
  'one_product "$newer"'
check_that "the files all there" 'installed_matches_folder'
check_that "the shortcut there" '[ -f "$shortcut" ]'
check_that "the event source still registered, at the installed contardc.exe" \
  '[ "$(reg_value EventMessageFile)" = "REG_EXPAND_SZ $installed_exe" ] && [ "$(reg_value TypesSupported)" = "REG_DWORD 0x7" ]'

step "contardc $version over $newer: refused"
msiexec i "$msi"
echo "       the log: $(grep -a -E 'WIX_DOWNGRADE_DETECTED = |Action ended .*LaunchConditions' "$msi_log" | tr -d '\r' | tr '\n' ';')"
# 1603, ERROR_INSTALL_FAILURE; Wine's exit code reaches Linux cut to its
# low byte (67). The message itself (the LaunchCondition row above) shows
# only in msiexec's window and its event log entry.
check_that "msiexec /i fails with 1603 (got $msi_status) at the launch condition" \
  '{ [ "$msi_status" = 1603 ] || [ "$msi_status" = $((1603 % 256)) ]; } &&
   grep -a -q "Action ended .*LaunchConditions. Return value [^1]" "$msi_log"'
arp="$(arp_entries)"
check_that "contardc $newer still the one product" '[ "$arp" = "contardc|$newer|$publisher" ]'
check_that "the files untouched" 'installed_matches_folder'

step "msiexec /x contardc-$newer-x64.msi /qn"
msiexec x "$work/contardc-$newer-x64.msi"
check_that "msiexec /x exits 0 (got $msi_status)" '[ "$msi_status" = 0 ]'
check_that "C:\\Program Files\\contardc gone (or empty)" \
  '[ ! -d "$installed" ] || [ -z "$(find "$installed" -mindepth 1 | head -n1)" ] || { find "$installed" | head; false; }'
check_that "the Start menu shortcut gone" '[ ! -e "$shortcut" ]'
check_that "no Apps & Features entry left" '[ -z "$(arp_entries)" ]'
check_that "the shortcut's registry value gone" \
  '! "$wd_wine" reg query "HKLM\\Software\\contardc" /v StartMenuShortcut /reg:64 >/dev/null 2>&1'
check_that "the event source's key gone" '! "$wd_wine" reg query "$source_key" /reg:64 >/dev/null 2>&1'

if [ "$failures" -gt 0 ]; then
  echo "windows msi: $failures check(s) failed"
  exit 1
fi
echo "windows msi: the tables, a silent install into Program Files with the shortcut and the Apps & Features entry, the version as Windows reads it, the event source and its messages, the installed program's window and posting, a rebuild and a newer version over it, an older one refused, a clean removal"
