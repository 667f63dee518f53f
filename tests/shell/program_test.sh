#!/bin/sh
# Runs a program in a scratch folder of its own and checks its exit code,
# its standard error and the files it leaves.
#   program_test.sh [-db] [-i INPUT] [-f FILE CONTENT]... [-c FILE TEXT]... [-x PATH]...
#                   EXIT_CODE STDERR_TEXT PROGRAM [ARGUMENT...]
# -db needs the throwaway database server (PGHOST, PGPORT, PGUSER,
# PGPASSWORD, PGDATABASE): without one the test is skipped (exit 77), or
# fails when TRENDOR_REQUIRE_DB=1; @PGHOST@, @PGUSER@, @PGPASSWORD@ and
# @PGDATABASE@ in file names, contents, texts and arguments stand for those
# values. Standard input is INPUT (as printf reads it), empty without -i.
# Each -f writes FILE (CONTENT as printf reads it; folders are made) before
# the run; each -c expects FILE to contain TEXT after it, each -x expects
# PATH not to exist after it. STDERR_TEXT
# "-" expects nothing on standard error. An argument written @repeat:N:C
# stands for N copies of the character C.
set -u
db=0
if [ "${1:-}" = "-db" ]; then
    db=1
    shift
    if [ -z "${PGHOST:-}" ]; then
        if [ "${TRENDOR_REQUIRE_DB:-}" = "1" ]; then
            echo "no test database server (PGHOST unset) but TRENDOR_REQUIRE_DB=1"
            exit 1
        fi
        echo "no test database server (run through make test): skipped"
        exit 77
    fi
fi
# The @PG...@ references of a text (with -db).
subst() {
    if [ "$db" -eq 1 ]; then
        printf '%s' "$1" | sed -e "s|@PGHOST@|$PGHOST|g" -e "s|@PGUSER@|${PGUSER:-}|g" \
            -e "s|@PGPASSWORD@|${PGPASSWORD:-}|g" -e "s|@PGDATABASE@|${PGDATABASE:-}|g"
    else
        printf '%s' "$1"
    fi
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
checks="" absent=""
: >"$work/.stdin"
if [ "$1" = "-i" ]; then
    printf "$2" >"$work/.stdin"
    shift 2
fi
while [ "$1" = "-f" ] || [ "$1" = "-c" ] || [ "$1" = "-x" ]; do
    file=$(subst "$2")
    if [ "$1" = "-x" ]; then
        absent="$absent$file
"
        shift 2
        continue
    fi
    if [ "$1" = "-f" ]; then
        mkdir -p "$work/$(dirname "$file")"
        printf "$(subst "$3")" >"$work/$file"
    else
        # FILE and TEXT, one per line, for after the run.
        checks="$checks$file
$(subst "$3")
"
    fi
    shift 3
done
expected=$1 text=$(subst "$2") program=$3
shift 3
for a in "$@"; do
    case $a in
    @repeat:*)
        rest=${a#@repeat:}
        a=$(head -c "${rest%%:*}" /dev/zero | tr '\0' "${rest#*:}")
        ;;
    *) a=$(subst "$a") ;;
    esac
    set -- "$@" "$a"
    shift
done
err="$work/.stderr"
(cd "$work" && "$program" "$@" <"$work/.stdin" 2>"$err" >/dev/null)
code=$?
fail=0
if [ "$code" -ne "$expected" ]; then
    echo "exit code $code, expected $expected"
    fail=1
fi
if [ "$text" = "-" ]; then
    if [ -s "$err" ]; then echo "unexpected standard error:"; cat "$err"; fail=1; fi
elif ! grep -qF -- "$text" "$err"; then
    echo "standard error lacks \"$text\":"
    cat "$err"
    fail=1
fi
printf '%s' "$checks" | while IFS= read -r file && IFS= read -r want; do
    if ! grep -qF -- "$want" "$work/$file" 2>/dev/null; then
        echo "$file lacks \"$want\":"
        cat "$work/$file" 2>/dev/null
        exit 1
    fi
done || fail=1
printf '%s' "$absent" | while IFS= read -r file; do
    if [ -e "$work/$file" ]; then
        echo "$file should not exist"
        exit 1
    fi
done || fail=1
exit $fail
