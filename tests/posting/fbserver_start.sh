#!/usr/bin/env bash
# Starts a Firebird server of the tests' own on 127.0.0.1, with its own
# configuration folder, lock folder and security database (SYSDBA/PASSWORD),
# all under DIR. Databases it creates go in DIR/data and belong to the user
# running it. fbserver_stop.sh DIR stops it by its process id.
#
# PORT 0 takes a free port. The port is only known to be free once the server
# holds it, so when another program takes it first the script tries another.
# Once the server answers, "127.0.0.1/PORT" is written to DIR/address, which is
# where the tests read it.
#
# AUTH (optional) sets how the server takes logins and the wire:
#   srp      Firebird 3's defaults: Srp logins, encryption when the client
#            offers it (the default);
#   srp256   as Firebird 4 and 5 servers are by default: only Srp256
#            logins, and an unencrypted wire refused (WireCrypt = Required);
#   legacy   as a Firebird 2.5-era server: only Legacy_Auth logins (the
#            user made by the legacy user manager), no wire encryption.
#
# Usage: fbserver_start.sh DIR PORT PASSWORD [AUTH]
set -euo pipefail
dir="$1" port="$2" password="$3" auth="${4:-srp}"
case "$auth" in
  srp) auth_conf="" user_plugin=Srp ;;
  srp256) auth_conf=$'AuthServer = Srp256\nWireCrypt = Required' user_plugin=Srp ;;
  legacy) auth_conf=$'AuthServer = Legacy_Auth\nUserManager = Legacy_UserManager\nWireCrypt = Disabled' user_plugin=Legacy_UserManager ;;
  *) echo "fbserver_start.sh: unknown AUTH $auth (srp, srp256 or legacy)" >&2; exit 2 ;;
esac
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
fbroot=/usr/lib/x86_64-linux-gnu/firebird/3.0
[ -d "$fbroot" ] || fbroot="$(dirname "$(readlink -f /usr/lib/*/libfbclient.so.2 | head -n1)")/firebird/3.0"

# A server left over by an interrupted run goes first.
"$here/fbserver_stop.sh" "$dir" || true
rm -rf "$dir"
mkdir -p "$dir/root" "$dir/lock" "$dir/data"
for f in firebird.msg intl plugins lib UDF; do
  [ -e "$fbroot/$f" ] && ln -s "$fbroot/$f" "$dir/root/$f"
done
cp "$fbroot/plugins.conf" "$dir/root/plugins.conf"
printf 'security.db = %s/security3.fdb\n' "$dir" > "$dir/root/databases.conf"
write_conf() {
  cat > "$dir/root/firebird.conf" <<CONF
RemoteServicePort = $1
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
ServerMode = Super
UdfAccess = None
$auth_conf
CONF
}
# The security database is made by the embedded engine under this
# configuration, never the machine's own.
write_conf "$port"

export FIREBIRD="$dir/root" FIREBIRD_LOCK="$dir/lock"
if [ "$user_plugin" = Srp ]; then
  printf "create database '%s/security3.fdb' user 'SYSDBA';\ncreate user SYSDBA password '%s' using plugin Srp;\ncommit;\n" \
    "$dir" "$password" | isql-fb -q -b
else
  # The legacy user manager's table and view come from Firebird's own
  # script; it makes SYSDBA, whose password is then set.
  {
    printf "create database '%s/security3.fdb' user 'SYSDBA';\n" "$dir"
    cat /usr/share/firebird/3.0/security.sql
    printf "alter user SYSDBA password '%s' using plugin Legacy_UserManager;\ncommit;\n" "$password"
  } | isql-fb -q -b
fi

# Local TCP ports (hex) that any socket of the machine holds, listening or not.
ports_in_use() {
  cat /proc/net/tcp /proc/net/tcp6 2>/dev/null | awk 'NR > 1 { split($2, a, ":"); print a[2] }' | sort -u
}

# A port below the kernel's range for outgoing connections, so that neither
# those nor the tests' "port nothing listens on" (taken from that range) can
# be handed the server's port; none that a socket holds now.
pick_port() {
  local low high candidate hex used
  read -r low high < /proc/sys/net/ipv4/ip_local_port_range
  high=$((low - 1))
  low=10000
  [ "$high" -gt "$low" ] || { low=20000; high=29999; }
  used="$(ports_in_use)"
  for _ in $(seq 1 200); do
    candidate=$((low + (RANDOM * 32768 + RANDOM) % (high - low + 1)))
    hex="$(printf '%04X' "$candidate")"
    grep -qx "$hex" <<<"$used" || { echo "$candidate"; return 0; }
  done
  return 1
}

# The socket inodes of the process's open descriptors.
socket_inodes() {
  local fd
  for fd in /proc/"$1"/fd/*; do
    fd="$(readlink "$fd" 2>/dev/null)" || continue
    case "$fd" in socket:\[*\]) fd="${fd#socket:[}"; echo "${fd%]}" ;; esac
  done
}

# The inodes of the sockets that hold local port PORT on 127.0.0.1 or on
# every address, in state STATE (hex, or "" for any); 0 stands for a closed
# connection still waiting out its time.
port_sockets() {
  local want state="$2"
  want="$(printf ':%04X' "$1")"
  awk -v want="$want" -v state="$state" 'NR > 1 && (state == "" || $4 == state) &&
    ($2 == "0100007F" want || $2 == "00000000" want) { print $10 }' /proc/net/tcp
  awk -v want="$want" -v state="$state" 'NR > 1 && (state == "" || $4 == state) &&
    substr($2, length($2) - 4) == want { print $10 }' /proc/net/tcp6
}

# start_on PORT: 0 ready, 1 failed, 2 another program holds the port.
start_on() {
  local p="$1" pid ours held listening deadline=$((SECONDS + 70))
  write_conf "$p"
  rm -f "$dir/root/firebird.log"
  setsid /usr/sbin/firebird </dev/null >"$dir/server.log" 2>&1 &
  pid=$!
  echo "$pid" > "$dir/server.pid"
  # The server retries a port in use for up to 50 seconds (a port it held
  # itself before a restart may still be waiting out old connections).
  while [ "$SECONDS" -lt "$deadline" ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid" 2>/dev/null || true
      rm -f "$dir/server.pid"
      echo "firebird server exited at start:" >&2
      cat "$dir/server.log" "$dir/root/firebird.log" >&2 2>/dev/null || true
      return 1
    fi
    # The sockets on the port first, then the server's own: a socket the
    # server opens in between is then among its own.
    listening="$(port_sockets "$p" 0A)"
    held="$(port_sockets "$p" "")"
    ours="$(socket_inodes "$pid")"
    # Ready once this very process listens on the port (not some other
    # program that took it) and takes a login with this server's own SYSDBA
    # password, which only its security database knows.
    if [ -n "$ours" ] && [ -n "$listening" ] && grep -xF -f <(echo "$ours") <<<"$listening" >/dev/null; then
      fbsvcmgr "127.0.0.1/$p:service_mgr" -user SYSDBA -password "$password" -info_server_version \
        >/dev/null 2>&1 && return 0
    elif [ "$port" = 0 ] && [ -n "$held" ] && grep -vxF -f <(echo "${ours:-none}") <<<"$held" >/dev/null; then
      # A port of the script's choosing that another socket holds: better
      # another port than the server's 50 seconds of retries.
      "$here/fbserver_stop.sh" "$dir" || true
      return 2
    fi
    sleep 0.05
  done
  echo "firebird server $pid did not answer on 127.0.0.1:$p" >&2
  cat "$dir/server.log" "$dir/root/firebird.log" >&2 2>/dev/null || true
  "$here/fbserver_stop.sh" "$dir" || true
  return 1
}

attempts=1
[ "$port" = 0 ] && attempts=10
for _ in $(seq 1 "$attempts"); do
  p="$port"
  if [ "$port" = 0 ]; then
    p="$(pick_port)" || { echo "no free port for the firebird server" >&2; exit 1; }
  fi
  status=0
  start_on "$p" || status=$?
  case "$status" in
    0)
      printf '127.0.0.1/%s\n' "$p" > "$dir/address.new"
      mv "$dir/address.new" "$dir/address"
      echo "firebird server $(cat "$dir/server.pid") on 127.0.0.1:$p"
      exit 0
      ;;
    2) echo "port $p was taken before the firebird server could listen on it; trying another" >&2 ;;
    *) exit 1 ;;
  esac
done
exit 1
