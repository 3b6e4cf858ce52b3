# Shared by scripts/run and scripts/test: packages, the build, and a throwaway PostgreSQL.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${RECASOR_BUILD_DIR:-$ROOT/build}

# What the program needs to be built and to run on the demo server of scripts/run.
PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev libgl-dev libqt6sql6-odbc libqt6sql6-sqlite
    unixodbc unixodbc-dev odbc-postgresql postgresql
    fonts-liberation
    unicode-data
    # The password in the system keyring: qtkeychain, which loads libsecret.
    qtkeychain-qt6-dev libsecret-1-0
)

# What scripts/test needs besides.
TEST_PACKAGES=(
    # postgres_fdw, for the tests of tables whose partitions live on another server: Debian ships
    # it in the server package itself (postgresql-15), which postgresql-contrib names.
    postgresql-contrib
    # A connection pooler in front of the test server, for the sessions that reach one.
    pgbouncer
    # Python's csv module reads an export back in the tests.
    python3
    # A Secret Service (gnome-keyring) on a session bus of the tests' own (dbus-run-session).
    gnome-keyring dbus
)

# What scripts/package and scripts/check-package need besides: dpkg-shlibdeps (dpkg-dev) and file
# for CPack's dependencies, the checkers of the package and of its metadata, and man-db and
# bash-completion, which find the installed manual page and completion.
PACKAGING_PACKAGES=(
    dpkg-dev file lintian appstream desktop-file-utils man-db bash-completion
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing packages… (${missing[*]})"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# build [TARGET...]: configures build/ and builds the targets, or everything without any.
build() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$BUILD_DIR" --parallel "$(nproc)" ${1:+--target "$@"}
}

# build_with_progress TARGET...: builds as build does, saying on one line how far it is and for
# how long it has gone, rather than a line for each file; the compiler's warnings and errors
# still show, and on a failure the log's end too. The whole log is build/build.log.
build_with_progress() {
    local log=$BUILD_DIR/build.log status tty=0 start line percent what shown=-1
    [ -t 1 ] && tty=1
    mkdir -p "$BUILD_DIR"
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    start=$(date +%s)
    set +e
    cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target "$@" 2>&1 | tee "$log" | {
        while IFS= read -r line; do
            if [[ $line =~ ^\[\ *([0-9]+)%\]\ (.*)$ ]]; then
                percent=${BASH_REMATCH[1]}
                what=${BASH_REMATCH[2]}
                # "Building CXX object ui/CMakeFiles/…" names the part of the program: "ui".
                [[ $what =~ ^Building\ CXX\ object\ ([^/]+)/ ]] && what="compiling ${BASH_REMATCH[1]}/"
                # On a terminal the line is redrawn in place; on a log, a line each further tenth.
                if [ "$tty" = 1 ]; then
                    printf '\r%-78.78s' "Building: $percent% after $(($(date +%s) - start)) s · $what"
                elif [ $((percent / 10)) -gt "$shown" ]; then
                    shown=$((percent / 10))
                    echo "Building: $percent% after $(($(date +%s) - start)) s · $what"
                fi
            elif [[ $line == *error* || $line == *warning* ]]; then
                [ "$tty" = 1 ] && printf '\n'
                echo "$line"
            fi
        done
        [ "$tty" = 1 ] && printf '\n'
        true
    }
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -ne 0 ]; then
        echo "The build failed; the end of $log:" >&2
        tail -n 30 "$log" >&2
        return "$status"
    fi
    echo "Built in $(($(date +%s) - start)) s."
}

# package_deb: the Debian package of the program, made by CPack (cmake/Packaging.cmake) in
# BUILD_DIR; its path on stdout, the rest on stderr. Only what the package holds is built: the
# install, which CPack runs, is told not to build everything first (the tests and benchmarks),
# which `cmake --install` never does anyway.
package_deb() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
    cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target recasor recasor_dist_files >&2
    local deb
    # The modes of the folders CPack makes follow the umask; a package wants 0755.
    deb=$(cd "$BUILD_DIR" && umask 022 && rm -f recasor_*.deb && cpack -G DEB >cpack.log &&
        ls recasor_*.deb) || { cat "$BUILD_DIR/cpack.log" >&2; return 1; }
    echo "$BUILD_DIR/$deb"
}

pg_bin() {
    local dir
    dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    [ -n "$dir" ] || { echo "PostgreSQL server binaries not found" >&2; return 1; }
    echo "$dir"
}

# The server refuses to run as root, so as root it runs as the postgres system user.
as_pg() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

free_port() {
    local port
    for _ in $(seq 1 200); do
        port=$((20000 + RANDOM % 30000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

# pg_start USER PASSWORD DATABASE: initdb into a temporary folder, start on a free port of
# 127.0.0.1 with password authentication, create the database. Sets PG_DIR, PG_PORT,
# PG_SOCKET; pg_stop (installed as an EXIT trap by the callers) removes it all again.
# The server runs with fsync=off, which is quick and enough for tests; with PG_DURABLE=1 it keeps
# the default durability settings (fsync, synchronous_commit, full_page_writes on), as the
# servers people run do. PG_OPTIONS adds server options of the caller's ("-c name=value ...").
pg_start() {
    local user=$1 password=$2 database=$3 bin durability="-c fsync=off"
    [ "${PG_DURABLE:-0}" = 1 ] && durability=""
    bin=$(pg_bin) || return 1
    PG_DIR=$(mktemp -d /tmp/recasor-pg.XXXXXX)
    PG_SOCKET=$PG_DIR/socket
    mkdir -p "$PG_DIR/data" "$PG_SOCKET"
    printf '%s\n' "$password" >"$PG_DIR/pwfile"
    [ "$(id -u)" -eq 0 ] && chown -R postgres: "$PG_DIR"
    as_pg "$bin/initdb" -D "$PG_DIR/data" -U "$user" --pwfile="$PG_DIR/pwfile" \
        --auth-host=scram-sha-256 --auth-local=trust -E UTF8 --locale=C.UTF-8 >"$PG_DIR/initdb.log" ||
        { cat "$PG_DIR/initdb.log" >&2; return 1; }
    local attempt
    for attempt in 1 2 3 4 5; do
        PG_PORT=$(free_port) || return 1
        if as_pg "$bin/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/server.log" -w -t 60 \
            -o "-p $PG_PORT -k $PG_SOCKET -c listen_addresses=127.0.0.1 $durability ${PG_OPTIONS:-}" start >/dev/null; then
            as_pg "$bin/createdb" -h "$PG_SOCKET" -p "$PG_PORT" -U "$user" "$database"
            return $?
        fi
    done
    cat "$PG_DIR/server.log" >&2
    return 1
}

# pg_remote USER PASSWORD DATABASE REMOTE: a second database REMOTE on the server of pg_start,
# which DATABASE reaches through postgres_fdw as the foreign server REMOTE (with a user mapping
# for USER), as it would reach another server that holds some of its partitions.
pg_remote() {
    local user=$1 password=$2 database=$3 remote=$4
    as_pg "$(pg_bin)/createdb" -h "$PG_SOCKET" -p "$PG_PORT" -U "$user" "$remote"
    if [ -z "$(pg_psql -U "$user" -d "$database" -At \
        -c "SELECT 1 FROM pg_available_extensions WHERE name = 'postgres_fdw'")" ]; then
        echo "postgres_fdw is not installed for $(pg_bin) (Debian: postgresql-contrib)" >&2
        return 1
    fi
    # Over TCP, with the password, as a server elsewhere would be reached.
    pg_psql -U "$user" -d "$database" -v port="$PG_PORT" -v remote="$remote" -v user="$user" \
        -v password="$password" <<'SQL'
CREATE EXTENSION postgres_fdw;
CREATE SERVER :"remote" FOREIGN DATA WRAPPER postgres_fdw
    OPTIONS (host '127.0.0.1', port :'port', dbname :'remote');
CREATE USER MAPPING FOR CURRENT_USER SERVER :"remote" OPTIONS (user :'user', password :'password');
SQL
}

# pooler_start USER PASSWORD: PgBouncer in front of the server of pg_start, in session mode, on a
# free port of 127.0.0.1 (POOLER_PORT); it refuses options at login, as it does by default.
pooler_start() {
    local user=$1 password=$2 dir=$PG_DIR/pooler
    mkdir -p "$dir"
    POOLER_PORT=$(free_port) || return 1
    cat >"$dir/pgbouncer.ini" <<INI
[databases]
* = host=127.0.0.1 port=$PG_PORT
[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $POOLER_PORT
unix_socket_dir =
auth_type = plain
auth_file = $dir/users.txt
pool_mode = session
logfile = $dir/pgbouncer.log
pidfile = $dir/pgbouncer.pid
INI
    printf '"%s" "%s"\n' "$user" "$password" >"$dir/users.txt"
    [ "$(id -u)" -eq 0 ] && chown -R postgres: "$dir"
    as_pg pgbouncer -d -q "$dir/pgbouncer.ini" ||
        { cat "$dir/pgbouncer.log" >&2; return 1; }
}

pg_stop() {
    [ -n "${PG_DIR:-}" ] || return 0
    [ -f "$PG_DIR/pooler/pgbouncer.pid" ] && kill "$(cat "$PG_DIR/pooler/pgbouncer.pid")" 2>/dev/null
    local bin
    bin=$(pg_bin) && as_pg "$bin/pg_ctl" -D "$PG_DIR/data" -m immediate stop >/dev/null 2>&1
    rm -rf "$PG_DIR"
    PG_DIR=
}

pg_psql() {
    as_pg "$(pg_bin)/psql" -X -q -v ON_ERROR_STOP=1 -h "$PG_SOCKET" -p "$PG_PORT" "$@"
}

# with_test_keyring COMMAND...: runs the command beside a session bus of its own, whose Secret
# Service (gnome-keyring-daemon) holds an unlocked keyring in a throwaway folder; the keyring
# tests find the bus in RECASOR_TEST_KEYRING_BUS and its password in
# RECASOR_TEST_KEYRING_PASSWORD. CTest gives every other test no session bus at all, so no test
# reaches the keyring of the desktop it runs on. No display either: a dialog of the keyring's
# (an unlock prompt) then fails at once instead of waiting for a person. Returns the command's
# exit status.
with_test_keyring() {
    local dir status=0
    dir=$(mktemp -d /tmp/recasor-keyring.XXXXXX)
    mkdir -p "$dir/home" "$dir/run"
    chmod 700 "$dir/run"
    # The bus and the keyring say what their failed unlock dialogs did on their stderr, which is
    # left out; the command keeps the script's own (fd 3).
    {
        RECASOR_KEYRING_DIR=$dir RECASOR_TEST_KEYRING_PASSWORD='Keyring-pw-7' \
            env -u DISPLAY -u WAYLAND_DISPLAY dbus-run-session -- bash -c '
            keyring_env=(HOME="$RECASOR_KEYRING_DIR/home"
                XDG_DATA_HOME="$RECASOR_KEYRING_DIR/home/data"
                XDG_RUNTIME_DIR="$RECASOR_KEYRING_DIR/run")
            # A keyring service the bus starts by itself lives in the same throwaway folder.
            dbus-update-activation-environment "${keyring_env[@]}" &&
                printf %s "$RECASOR_TEST_KEYRING_PASSWORD" |
                env "${keyring_env[@]}" gnome-keyring-daemon --unlock --components=secrets \
                    >/dev/null ||
                { echo "the tests'"'"' keyring (gnome-keyring-daemon) did not start" >&3; exit 1; }
            # Its Secret Service may take a moment to show on the bus after it has returned. It
            # does not always end with the bus: it is ended with the command.
            for _ in $(seq 100); do
                keyring_pid=$(dbus-send --session --print-reply=literal \
                    --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetConnectionUnixProcessID \
                    string:org.freedesktop.secrets | awk "{ print \$2 }")
                [ -n "$keyring_pid" ] && break
                sleep 0.1
            done
            [ -n "$keyring_pid" ] ||
                { echo "the tests'"'"' keyring did not show on its bus" >&3; exit 1; }
            export RECASOR_TEST_KEYRING_BUS=$DBUS_SESSION_BUS_ADDRESS RECASOR_TEST_KEYRING_PASSWORD
            unset RECASOR_KEYRING_DIR
            "$@" 2>&3 3>&-
            status=$?
            kill "$keyring_pid"
            exit "$status"' bash "$@" || status=$?
    } 3>&2 2>/dev/null
    rm -rf "$dir"
    return "$status"
}

# The demo of scripts/run and scripts/screenshots: a throwaway server (pg_start's variables)
# with scripts/demo.sql loaded.
DEMO_USER=recasor_demo
DEMO_PASSWORD='Demo-pw-42'
DEMO_DATABASE=recasor_demo

demo_start() {
    pg_start "$DEMO_USER" "$DEMO_PASSWORD" "$DEMO_DATABASE" || return 1
    pg_psql -U "$DEMO_USER" -d "$DEMO_DATABASE" <"$ROOT/scripts/demo.sql"
}

# demo_config FOLDER [PASSWORD]: a settings store in FOLDER holding the demo server's
# connection values, in the file and format the program reads when XDG_CONFIG_HOME=FOLDER.
demo_config() {
    local folder=$1 password=${2:-$DEMO_PASSWORD}
    (
        umask 077
        mkdir -p "$folder"
        cat >"$folder/Kestrova.ini" <<INI
[Recasor]
PostgreSQLServer=127.0.0.1
PostgreSQLPort=$PG_PORT
PostgreSQLUser=$DEMO_USER
PostgreSQLPassword=$password
PostgreSQLDatabase=$DEMO_DATABASE
INI
        chmod 600 "$folder/Kestrova.ini"
    )
}
