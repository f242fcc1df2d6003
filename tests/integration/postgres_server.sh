#!/usr/bin/env bash
# A throwaway PostgreSQL server for the database tests.
#   postgres_server.sh start <dir> <port>   initdb in <dir>, start on 127.0.0.1:<port>, create
#                                           role kcm (password kcm) and database kcm
#   postgres_server.sh stop <dir>           fast shutdown (the data stays for a restart)
#   postgres_server.sh restart <dir>        start the stopped server again
# As root the server runs as the postgres user, which initdb requires.
set -euo pipefail
action=$1 dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
as_server() {
  if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}
pg_ctl_start() {
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -o "-p $(cat "$dir/port") -k $dir -c listen_addresses=127.0.0.1 -c fsync=off" -w start >/dev/null
}
case $action in
  start)
    port=$3
    mkdir -p "$dir"
    echo "$port" >"$dir/port"
    if [[ $(id -u) -eq 0 ]]; then
      chown postgres "$dir"
      chmod a+x "$(dirname "$dir")"   # the server user must reach its folder
    fi
    as_server "$bin/initdb" -D "$dir/data" -U postgres -A trust --no-sync >/dev/null
    pg_ctl_start
    as_server "$bin/psql" -h "$dir" -p "$port" -U postgres -q -c "CREATE ROLE kcm LOGIN PASSWORD 'kcm'" \
      -c "CREATE DATABASE kcm OWNER kcm" >/dev/null
    ;;
  restart) pg_ctl_start ;;
  stop) as_server "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null ;;
  *) echo "usage: $0 start|stop|restart <dir> [port]" >&2; exit 2 ;;
esac
