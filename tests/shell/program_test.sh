#!/bin/sh
# Runs a program and checks its exit code and standard error.
#   program_test.sh [-f FILE CONTENT]... EXIT_CODE STDERR_TEXT PROGRAM [ARGUMENT...]
# Each -f writes FILE (CONTENT as printf reads it) into the current folder
# for the run and removes it afterwards. STDERR_TEXT "-" expects nothing on
# standard error. An argument written @repeat:N:C stands for N copies of the
# character C.
set -u
made=""
while [ "$1" = "-f" ]; do
    printf "$3" >"$2"
    made="$made $2"
    shift 3
done
expected=$1 text=$2 program=$3
shift 3
for a in "$@"; do
    case $a in
    @repeat:*)
        rest=${a#@repeat:}
        a=$(head -c "${rest%%:*}" /dev/zero | tr '\0' "${rest#*:}")
        ;;
    esac
    set -- "$@" "$a"
    shift
done
err=$(mktemp)
"$program" "$@" 2>"$err" >/dev/null
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
rm -f "$err" $made
exit $fail
