#!/bin/bash
# build-msi.sh STAGE VERSION OUT.msi [OSSLSIGNCODE PKCS12 [TIMESTAMP_URL]]
# Builds the MSI from an installed tree (cmake --install) with wixl, so that
# the same files give the same bytes in any folder and time zone, and signs
# it when OSSLSIGNCODE and PKCS12 are given (password and timestamp as for
# cmake/sign.sh).
#
# wixl alone is not reproducible: it draws the package code at random, stamps
# the summary information with the clock and takes the cabinet's file times
# from the files. So the package code and the product code are derived from
# a hash of everything that goes in, the files' times are set to
# SOURCE_DATE_EPOCH (default: the time of the source's last commit), and the
# summary's creation and save times are overwritten with it.
set -euo pipefail
stage=$1 version=$2
out=$(mkdir -p "$(dirname "$3")" && cd "$(dirname "$3")" && pwd)/$(basename "$3")
here=$(cd "$(dirname "$0")" && pwd)
corvane_top=$here/.. && . "$here/../cmake/project-names.sh"
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null)} || {
    echo "build-msi.sh: no git history here: set SOURCE_DATE_EPOCH" >&2
    exit 1
}
work="$out.work"
rm -rf "$work" "$out" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

files=(corvane-r.exe corvane-r-open.exe DEPLOYMENT.md README.md LICENSE tools/client-standin.exe tools/corvane-r-check.exe)
for f in "${files[@]}"; do
    install -D -m 644 "$stage/$f" "$work/stage/$f"
    touch -d "@$epoch" "$work/stage/$f"
done

# A name-based GUID (version 5 layout) from a hash and a purpose.
guid() {
    local h
    h=$(printf '%s %s' "$1" "$2" | sha1sum)
    printf '%s-%s-5%s-%x%s-%s' "${h:0:8}" "${h:8:4}" "${h:13:3}" $(((0x${h:16:1} & 3) | 8)) \
        "${h:17:3}" "${h:20:12}" | tr a-f A-F
}
inputs=$( (cd "$work/stage" && sha256sum "${files[@]}") | cat - "$here/corvane-r.wxs" | sha256sum | cut -c1-64)
inputs="$version $corvane_product $corvane_company $corvane_event_source $inputs"

# wixl takes file sources relative to the folder it runs in.
(cd "$work" && wixl -a x86 -D Version="$version" -D ProductCode="$(guid product "$inputs")" \
    -D Product="$corvane_product" -D Manufacturer="$corvane_company" -D EventSource="$corvane_event_source" \
    -D Stage=stage -o "$out" "$here/corvane-r.wxs")
msibuild "$out" -s "$corvane_product $version" "$corvane_company" "Intel;1033" \
    "{$(guid package "$inputs")}"

# The creation (12) and last-save (13) times are FILETIMEs (type 0x40) in the
# summary stream, which is small and kept whole in the file: each of them is
# replaced where it occurs, in the stream as read back and in the file, and
# the file's stream must then read back as the stream patched alike.
summary=$'\005SummaryInformation'
msiinfo extract "$out" "$summary" >"$work/summary"
set_times() { # FILE: rewrites the times found in $work/summary
    perl -0777 -e '
        my ($stream_file, $epoch) = (shift, shift);
        open(my $in, "<:raw", $stream_file) or die; local $/; my $s = <$in>;
        my $section = unpack("V", substr($s, 44, 4));
        my %old;
        for my $i (0 .. unpack("V", substr($s, $section + 4, 4)) - 1) {
            my ($id, $at) = unpack("V2", substr($s, $section + 8 + 8 * $i, 8));
            $old{substr($s, $section + $at, 12)} = 1 if $id == 12 || $id == 13;
        }
        my $new = pack("V Q<", 0x40, ($epoch + 11644473600) * 10000000);
        $_ = <STDIN>;
        my $n = 0;
        for my $t (keys %old) { die "not a time" if unpack("V", $t) != 0x40; $n += s/\Q$t\E/$new/g; }
        die "found $n times, not 2\n" if $n != 2;
        print;
    ' "$work/summary" "$epoch" <"$1" >"$1.new"
    mv "$1.new" "$1"
}
cp "$work/summary" "$work/summary.patched"
set_times "$work/summary.patched"
set_times "$out"
msiinfo extract "$out" "$summary" | cmp -s - "$work/summary.patched" || {
    echo "build-msi.sh: the summary times could not be set" >&2
    exit 1
}

if [ $# -ge 5 ]; then
    sh "$here/../cmake/sign.sh" "$4" "$5" "$out" "${6:-}"
fi
