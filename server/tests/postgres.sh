#!/usr/bin/env bash
# postgres.sh: a throw-away PostgreSQL server for one test run (or one benchmark).
#   postgres.sh start STATE [fast] [tls]  starts one in a new temporary folder, as an unprivileged
#                                    user, on a unix socket in that folder (no TCP port); STATE's
#                                    first line is then its URI, its second the folder. "fast" turns
#                                    fsync off (tests only). "tls" serves, as a database host does,
#                                    the database pilaro to the user ranking over TCP on a free
#                                    loopback port, with TLS (a throw-away self-signed certificate)
#                                    and a password (scram-sha-256) kept in the folder's pgpass,
#                                    for PGPASSFILE. When it cannot start, the URI line is
#                                    empty and the reason is in the folder's logs; the exit is 0 so
#                                    that the tests run and skip their PostgreSQL cases.
#                                    PILARO_POSTGRES_BUFFERS sets shared_buffers (default 128MB);
#                                    PILARO_POSTGRES_SETTINGS adds "-c name=value" settings.
#   postgres.sh crash STATE          stops it as a power cut would (-m immediate), and starts it again.
#   postgres.sh stop STATE           stops it and removes the folder.
set -u
command="${1:-}" state="${2:-}"
bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
# PostgreSQL refuses to run as root: root runs it as nobody.
as() { if [[ $(id -u) -eq 0 ]]; then runuser -u nobody -- "$@"; else "$@"; fi; }

case "$command" in
  start)
    "$0" stop "$state"
    dir="$(mktemp -d "${TMPDIR:-/tmp}/pilaro-postgres-XXXXXX")" && chmod 755 "$dir"
    [[ $(id -u) -eq 0 ]] && chown nobody "$dir"
    printf '\n%s\n' "$dir" >"$state"
    uri="postgresql:///postgres?host=$dir&user=pilaro"
    # No TCP unless asked for: a later listen_addresses replaces this one.
    settings="-c unix_socket_directories='$dir' -c listen_addresses='' -c max_connections=60 -c shared_buffers=${PILARO_POSTGRES_BUFFERS:-128MB}"
    [[ " ${*:3} " == *" fast "* ]] && settings+=" -c fsync=off -c full_page_writes=off"
    if [[ " ${*:3} " == *" tls "* ]]; then
      port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
      password=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
      uri="postgresql://ranking@127.0.0.1:$port/pilaro?sslmode=require&connect_timeout=3"
      settings+=" -c listen_addresses=127.0.0.1 -c port=$port -c ssl=on -c ssl_cert_file='$dir/server.crt' -c ssl_key_file='$dir/server.key'"
      openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout "$dir/server.key" \
        -out "$dir/server.crt" >"$dir/setup.log" 2>&1
      [[ $(id -u) -eq 0 ]] && chown nobody "$dir/server.key"
      echo "127.0.0.1:$port:pilaro:ranking:$password" >"$dir/pgpass" && chmod 600 "$dir/pgpass" "$dir/server.key"
    fi
    settings+=" ${PILARO_POSTGRES_SETTINGS:-}"
    if [[ -x "$bin/initdb" ]] &&
       as "$bin/initdb" -D "$dir/data" -U pilaro -A trust -E UTF8 --locale=C --no-sync >>"$dir/setup.log" 2>&1 &&
       { [[ " ${*:3} " != *" tls "* ]] || printf 'local all pilaro trust\nhostssl pilaro ranking 127.0.0.1/32 scram-sha-256\n' |
           as tee "$dir/data/pg_hba.conf" >/dev/null; } &&
       as "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 -o "$settings" start >>"$dir/setup.log" 2>&1 &&
       { [[ " ${*:3} " != *" tls "* ]] || psql -qX -h "$dir" -p "$port" -U pilaro postgres -c "CREATE ROLE ranking LOGIN PASSWORD '$password'" \
           -c "CREATE DATABASE pilaro OWNER ranking" >>"$dir/setup.log" 2>&1; }; then
      printf '%s\n%s\n' "$uri" "$dir" >"$state"
      printf '%s\n' "$settings" >"$dir/settings"
    else
      echo "postgres.sh: PostgreSQL did not start; see $dir/setup.log and server.log" >&2
    fi
    ;;
  crash)
    dir="$(sed -n 2p "$state")"
    as "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >>"$dir/setup.log" 2>&1 &&
      as "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 -o "$(cat "$dir/settings")" start >>"$dir/setup.log" 2>&1
    exit
    ;;
  stop)
    dir="$(sed -n 2p "$state" 2>/dev/null)"
    [[ -n "$dir" && -d "$dir" ]] || exit 0
    [[ -f "$dir/data/postmaster.pid" ]] && as "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
    rm -rf "$dir" "$state"
    ;;
  *) echo "usage: postgres.sh start|crash|stop STATE [fast] [tls]" >&2; exit 2 ;;
esac
exit 0
