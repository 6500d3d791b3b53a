#!/usr/bin/env bash
# Starts a Firebird server of the tests' own on 127.0.0.1:PORT, with its own
# configuration folder, lock folder and security database (SYSDBA/PASSWORD),
# all under DIR. Databases it creates go in DIR/data and belong to the user
# running it. fbserver_stop.sh DIR stops it by its process id.
# Usage: fbserver_start.sh DIR PORT PASSWORD
set -euo pipefail
dir="$1" port="$2" password="$3"
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
cat > "$dir/root/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
ServerMode = Super
UdfAccess = None
CONF
printf 'security.db = %s/security3.fdb\n' "$dir" > "$dir/root/databases.conf"

export FIREBIRD="$dir/root" FIREBIRD_LOCK="$dir/lock"
printf "create database '%s/security3.fdb' user 'SYSDBA';\ncreate user SYSDBA password '%s' using plugin Srp;\ncommit;\n" \
  "$dir" "$password" | isql-fb -q -b

setsid /usr/sbin/firebird </dev/null >"$dir/server.log" 2>&1 &
echo $! > "$dir/server.pid"

# Ready once it answers a login on its port.
for _ in $(seq 1 100); do
  if ! kill -0 "$(cat "$dir/server.pid")" 2>/dev/null; then
    echo "firebird server exited at start:" >&2
    cat "$dir/server.log" "$dir/root/firebird.log" >&2 2>/dev/null || true
    exit 1
  fi
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "firebird server $(cat "$dir/server.pid") on 127.0.0.1:$port"
    exit 0
  fi
  sleep 0.1
done
echo "firebird server did not listen on 127.0.0.1:$port" >&2
"$here/fbserver_stop.sh" "$dir" || true
exit 1
