#!/bin/sh
# Golden files of the application language.
#   run_golden.sh PROGRAM TOPIC.in...
# Runs PROGRAM (apprt-eval) on each TOPIC.in, in a fresh temporary folder,
# and compares its standard output with TOPIC.out beside the input. A topic
# passes when the output is byte for byte the expected one, the exit code is
# 0 and nothing was written on standard error. On a failure the differing
# lines are listed with the input line that gave them (bytes below 0x20 and
# above 0x7E shown as \xHH).
set -u
if [ $# -lt 2 ]; then
    echo "usage: $0 PROGRAM TOPIC.in..." >&2
    exit 2
fi
program=$1
shift
case $program in /*) ;; *) program=$(pwd)/$program ;; esac

work=$(mktemp -d "${TMPDIR:-/tmp}/golden.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT INT TERM

failed=0
for input in "$@"; do
    case $input in /*) ;; *) input=$(pwd)/$input ;; esac
    topic=$(basename "$input" .in)
    expected=${input%.in}.out
    run=$work/$topic
    mkdir "$run" || exit 2
    (cd "$run" && "$program" <"$input" >"$work/$topic.actual" 2>"$work/$topic.stderr")
    code=$?

    problems=""
    [ "$code" -eq 0 ] || problems="$problems exit code $code;"
    [ -s "$work/$topic.stderr" ] && problems="$problems output on standard error;"
    if [ ! -f "$expected" ]; then
        problems="$problems no expected output $expected;"
    elif ! cmp -s "$expected" "$work/$topic.actual"; then
        problems="$problems output differs;"
    fi
    if [ -z "$problems" ]; then
        echo "ok   $topic"
        continue
    fi

    failed=1
    echo "FAIL $topic:$problems"
    if [ -s "$work/$topic.stderr" ]; then
        echo "--- standard error:"
        head -c 4000 "$work/$topic.stderr"
    fi
    if [ -f "$expected" ]; then
        # Line N of the output answers line N of the input (lines of the
        # input end at CR LF, LF or CR; an ending line end opens no new line).
        perl -e '
            sub lines {
                my ($name, $any) = @_;
                open(my $f, "<:raw", $name) or return ();
                local $/; my $t = <$f>; $t = "" unless defined $t;
                return () if $t eq "";
                my @l = split($any ? qr/\r\n|\r|\n/ : qr/\n/, $t, -1);
                pop @l if $t =~ ($any ? qr/[\r\n]\z/ : qr/\n\z/);
                return @l;
            }
            sub show { my $s = shift; return "(none)" unless defined $s;
                       $s =~ s/([\\\x00-\x1f\x7f-\xff])/$1 eq "\\" ? "\\\\" : sprintf("\\x%02X", ord $1)/ge; return $s; }
            my @in = lines($ARGV[0], 1); my @exp = lines($ARGV[1], 0); my @act = lines($ARGV[2], 0);
            printf "--- %d input lines, %d expected output lines, %d actual\n", scalar @in, scalar @exp, scalar @act;
            my $max = @exp > @act ? @exp : @act; my $shown = 0;
            for my $i (0 .. $max - 1) {
                next if defined $exp[$i] && defined $act[$i] && $exp[$i] eq $act[$i];
                if (++$shown > 25) { print "--- (further differences not shown)\n"; last; }
                printf "line %d: %s\n    expected: %s\n    actual:   %s\n", $i + 1, show($in[$i]), show($exp[$i]), show($act[$i]);
            }
        ' "$input" "$expected" "$work/$topic.actual"
    fi
done
exit $failed
