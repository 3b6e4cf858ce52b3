#!/usr/bin/env bash
# completion.sh COMPLETION PROGRAM: the bash completion COMPLETION, sourced as bash-completion
# sources it, completes command lines of PROGRAM as each row below says. With a test server
# (RECASOR_TEST_SERVER and the rest, as scripts/test sets them) it also completes the server's
# tables and fields, from connection options on the line and from the settings file.
set -uo pipefail
completion=$(realpath "$1")
program=$(realpath "$2")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# No stored connection values, no journal: the user's own files are not read.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$work/files"
touch "$work/files/names.txt" "$work/files/notes.csv" "$work/files/other"
cd "$work/files" || exit 1

# shellcheck source=/dev/null
source "$completion" || exit 1

# complete_line LINE: COMPREPLY for LINE with the cursor at its end, split into words as bash
# splits them: at blanks and around "=" outside quotes, each word kept as typed, quotes and
# backslashes and all.
complete_line() {
    local line=$1 word= quote= c i
    local -a words=()
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        if [[ -n $quote ]]; then
            [[ $c == "$quote" ]] && quote=
        elif [[ $c == \\ ]]; then
            c+=${line:i+1:1}
            i=$((i + 1))
        elif [[ $c == [\'\"] ]]; then
            quote=$c
        elif [[ $c == ' ' || $c == = ]]; then
            [[ -n $word ]] && words+=("$word")
            [[ $c == = ]] && words+=(=)
            word=
            continue
        fi
        word+=$c
    done
    [[ -n $word || $line == *' ' ]] && words+=("$word")
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _recasor "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]-}"
}

passed=0
failed=0
# check LINE EXPECTED: the completions of LINE, sorted and joined by spaces, are EXPECTED.
check() {
    local line=$1 expected=$2 got
    complete_line "$line"
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
    if [[ $got == "$expected" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: \"$line\": expected \"$expected\", got \"$got\"" >&2
    fi
}

P=$program
rows=(
    # line                                    | completions
    "$P ch|change"
    "$P |change fields preview runs tables undo"
    "$P --h|--help --host"
    "$P tables --|--database --help --host --json --port --user"
    "$P change t --mo|--mode"
    "$P change t --mode |lower proper sentence upper"
    "$P change t --mode=|lower proper sentence upper"
    "$P change t --mode=s|sentence"
    "$P change t --mode upper --l|--language --leave-mixed-case"
    "$P preview t --l|--language --leave-mixed-case --limit"
    "$P preview t --language d|de de-eszett"
    "$P change t --keep-values-from n|names.txt notes.csv"
    "$P undo --|--database --help --host --json --port --run --user"
    "$P runs --export 3 no|notes.csv"
    # A value of the user's own is left to the user.
    "$P change t --where |"
    "$P change t --port |"
    # No connection values stored or given: no server is asked for tables or fields.
    "$P fields |"
    "$P change t --field |"
    # An empty journal has no runs.
    "$P undo --run |"
)
for row in "${rows[@]}"; do
    check "${row%%|*}" "${row#*|}"
done

# A server that does not answer holds the completion up for no more than its time-out (2 s),
# where the program alone would wait 15 s for its login: a port that takes connections and
# never says a word.
coproc SILENT { exec python3 -c '
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(8)
print(s.getsockname()[1], flush=True)
time.sleep(60)'; }
read -r silent_port <&"${SILENT[0]}"
start=$SECONDS
check "$P fields --host 127.0.0.1 --port $silent_port --user u --database d " ""
if ((SECONDS - start > 5)); then
    failed=$((failed + 1))
    echo "FAIL: a server that does not answer held the completion up for $((SECONDS - start)) s" >&2
fi
kill "$SILENT_PID"

# quoted_lines: each line of stdin quoted as the completion quotes it, sorted and joined.
quoted_lines() {
    local line
    while IFS= read -r line; do
        [[ -n $line ]] && printf '%q\n' "$line"
    done | sort | paste -sd ' '
}

if [[ -n ${RECASOR_TEST_SERVER:-} ]]; then
    export PGPASSWORD=$RECASOR_TEST_PASSWORD
    # A server under the load of the other tests may take longer than a person would wait.
    export RECASOR_COMPLETION_TIMEOUT=20
    connection="--host $RECASOR_TEST_SERVER --port $RECASOR_TEST_PORT --user $RECASOR_TEST_USER"
    connection+=" --database $RECASOR_TEST_DATABASE"
    # shellcheck disable=SC2086
    tables=$("$program" tables $connection)
    first=$(head -n 1 <<<"$tables")
    if [[ -z $first ]]; then
        echo "The test database holds no tables: its tables and fields are not completed." >&2
    else
        check "$P fields $connection " "$(quoted_lines <<<"$tables")"
        prefix=$(grep -m 1 -o '^[a-z]' <<<"$tables")
        [[ -n $prefix ]] &&
            check "$P fields $connection $prefix" "$(grep "^$prefix" <<<"$tables" | quoted_lines)"
        # shellcheck disable=SC2086
        fields=$("$program" fields "$first" $connection)
        check "$P change $(printf '%q' "$first") $connection --field " \
            "$(quoted_lines <<<"$fields")"
        # The same values stored by the connection window instead of given on the line.
        cat >"$XDG_CONFIG_HOME/Kestrova.ini" <<INI
[Recasor]
PostgreSQLServer=$RECASOR_TEST_SERVER
PostgreSQLPort=$RECASOR_TEST_PORT
PostgreSQLUser=$RECASOR_TEST_USER
PostgreSQLDatabase=$RECASOR_TEST_DATABASE
INI
        check "$P preview " "$(quoted_lines <<<"$tables")"
        check "$P preview $(printf '%q' "$first") --mode upper --field " \
            "$(quoted_lines <<<"$fields")"
    fi
fi

echo "$passed passed, $failed failed"
((failed == 0))
