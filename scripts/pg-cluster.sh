#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests and benchmarks.
#   pg-cluster.sh start DIR   initdb into DIR/data, start the server on a Unix socket in DIR only
#                             (no TCP port), print the connection string of its superuser "zumen"
#   pg-cluster.sh stop DIR    stop it at once and remove DIR
# The server refuses to run as root: as root, it runs as the "postgres" user the package made.
set -euo pipefail
cmd=${1:?start or stop} dir=${2:?folder}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[[ -n $bin ]] || { echo "PostgreSQL's server is not installed" >&2; exit 1; }
as=()
[[ $(id -u) == 0 ]] && as=(runuser -u postgres --)
case $cmd in
start)
  mkdir -p "$dir"
  ((${#as[@]})) && chown postgres "$dir"
  # Texts sort by code point (collation C) as on the file; the character classes of C.UTF-8 let
  # the trigram indexes see Japanese letters. Durability is no concern of a test's data.
  "${as[@]}" "$bin/initdb" -D "$dir/data" -U zumen --auth=trust -E UTF8 --locale=C.UTF-8 --lc-collate=C \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-k $dir -c listen_addresses= -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
  echo "host=$dir port=5432 user=zumen dbname=postgres"
  ;;
stop)
  [[ -d $dir/data ]] && "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
