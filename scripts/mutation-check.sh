#!/bin/sh
# Shows that the tests find faults: applies each fault listed in
# tests/mutation/faults.txt, one at a time, to a copy of this tree
# (build/mutation/tree), rebuilds the native and Windows builds, runs their
# tests (for a fault in the installer, the release checks) and says whether
# they caught it. Takes about half a minute a fault.
#   mutation-check.sh [FAULTS_FILE]
set -eu
cd "$(dirname "$0")/.."
faults=$(realpath "${1:-tests/mutation/faults.txt}")
scripts/setup-debian.sh

tree=build/mutation/tree
mkdir -p "$tree"
# The sources as they stand, uncommitted edits included; the copy's own
# build trees are kept between runs, and nothing else of an earlier copy (a
# file moved since would otherwise still be found there).
find "$tree" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$tree"
tree=$(realpath "$tree")
pristine=$(realpath build/mutation)/pristine
rm -rf "$pristine"
mkdir -p "$pristine"
# The folders that faults are planted in, kept pristine to restore.
planted="launcher controller findings handler policy tools installer"

# The tests run the i686 programs where the machine starts 32-bit programs;
# elsewhere the x86_64 build's run them, and the i686 build gives its image
# and release checks alone.
runs_tests=windows
i686_skip=release
if ! why=$(scripts/runs-32-bit.sh 2>&1); then
    echo "mutation check: $why, so the x86_64 build's programs run the tests"
    runs_tests=windows-x64
    i686_skip="release|programs"
fi
for folder in $planted; do cp -r "$tree/$folder" "$pristine/"; done

run_tests() { # [release]: the release checks instead of the other tests
    (cd "$tree" &&
        cmake --build --preset native >/dev/null 2>&1 &&
        cmake --build --preset windows >/dev/null 2>&1 &&
        cmake --build --preset $runs_tests >/dev/null 2>&1) || return 2
    if [ "${1:-}" = release ]; then
        (cd "$tree" && ctest --preset windows -L release >/dev/null 2>&1) || return 1
        return 0
    fi
    (cd "$tree" &&
        ctest --preset native -E '^fuzz' --stop-on-failure >/dev/null 2>&1 &&
        ctest --preset windows -LE "$i686_skip" --stop-on-failure >/dev/null 2>&1 &&
        { [ $runs_tests = windows ] || ctest --preset windows-x64 --stop-on-failure >/dev/null 2>&1; }) || return 1
}

restore() { for folder in $planted; do cp -r "$pristine/$folder" "$tree"; done; }

# Applies fault number $1: every swap line, matched once in the pristine
# file, is replaced by its with line, all at once. Prints the fault's name.
apply_fault() {
    perl -e '
        my ($number, $faults, $tree) = @ARGV;
        open my $in, "<", $faults or die "$faults: $!";
        my (@faults, $swap);
        while (<$in>) {
            chomp;
            next if /^\s*(#|$)/;
            my ($key, $text) = /^(\w+):\s?(.*)$/ or die "not understood: $_\n";
            if ($key eq "fault") { push @faults, { name => $text, pairs => [] }; }
            elsif ($key eq "in") { $faults[-1]{file} = $text; }
            elsif ($key eq "swap") { $swap = $text; }
            elsif ($key eq "with") { push @{ $faults[-1]{pairs} }, [$swap, $text]; }
        }
        if ($number eq "count") { print scalar @faults; exit 0; }
        my $fault = $faults[$number - 1];
        my $path = "$tree/$fault->{file}";
        open my $src, "<", $path or die "$path: $!";
        my $code = do { local $/; <$src> };
        my %with;
        for my $pair (@{ $fault->{pairs} }) {
            my $found = () = $code =~ /\Q$pair->[0]\E/g;
            die "fault $number: \"$pair->[0]\" found $found times in $fault->{file}\n"
                unless $found == 1;
            $with{ $pair->[0] } = $pair->[1];
        }
        my $any = join "|", map { quotemeta } keys %with;
        $code =~ s/($any)/$with{$1}/g;
        open my $out, ">", $path or die "$path: $!";
        print $out $code;
        print $fault->{name};
    ' "$1" "$faults" "$tree"
}

(cd "$tree" && cmake --preset native >/dev/null && cmake --preset windows >/dev/null &&
    cmake --preset $runs_tests >/dev/null)
echo "baseline: building and testing the unchanged copy"
restore
status=0
run_tests || status=$?
[ "$status" -ne 0 ] || run_tests release || status=$?
if [ "$status" -ne 0 ]; then
    echo "the unchanged tree does not pass its tests (status $status); nothing to compare"
    exit 1
fi

count=$(apply_fault count)
caught=0 missed=0
i=1
while [ "$i" -le "$count" ]; do
    restore
    name=$(apply_fault "$i")
    checks=""
    diff -rq "$pristine/installer" "$tree/installer" >/dev/null || checks=release
    status=0
    run_tests $checks || status=$?
    case $status in
        1) verdict="caught"; caught=$((caught + 1)) ;;
        2) verdict="MISSED (does not build)"; missed=$((missed + 1)) ;;
        *) verdict="MISSED"; missed=$((missed + 1)) ;;
    esac
    printf '%2d  %-8s %s\n' "$i" "$verdict" "$name"
    i=$((i + 1))
done
restore
# A run stopped at its first failure skips the fixture that stops the copy's
# wineserver: stopped here.
"$tree/build/$runs_tests/wine-run.sh" --stop-server
echo "$caught caught, $missed missed"
[ "$missed" -eq 0 ]
