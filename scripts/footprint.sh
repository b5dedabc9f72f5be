#!/bin/sh
# What corvane-r.exe is made of: its file size, its sections, and the bytes
# each origin contributes according to the link map.
#   footprint.sh [BUILD_DIR]   (default build/windows)
set -eu
build=${1:-build/windows}
image="$build/corvane-r.exe"
map="$build/corvane-r.map"

# mawk has no strtonum.
hex='function hex(text,  i, value) {
    sub(/^0x/, "", text); value = 0
    for (i = 1; i <= length(text); i++)
        value = value * 16 + index("0123456789abcdef", tolower(substr(text, i, 1))) - 1
    return value
}'

echo "corvane-r.exe: $(wc -c < "$image") bytes on disk"
echo "sections (bytes in memory):"
i686-w64-mingw32-objdump -h "$image" |
    awk "$hex"' $1 ~ /^[0-9]+$/ { printf "  %-8s %8d\n", $2, hex($3) }'

echo "contributions by origin (input sections placed in the image):"
awk "$hex"'
    /^Linker script and memory map/ { mapped = 1; next }
    !mapped { next }
    # A long section name stands alone; its address, size and file follow.
    NF == 1 && $1 ~ /^\./ { pending = $1; next }
    {
        if (pending != "") { $0 = pending " " $0; pending = "" }
        if ($1 !~ /^\./ || NF < 4 || $2 !~ /^0x/ || $3 !~ /^0x/) next
        if (hex($2) == 0 || $1 ~ /^\.debug/) next
        size = hex($3); file = $4
        if (file ~ /CMakeFiles/) origin = "launcher and controller (ours)"
        else if (file ~ /libstdc\+\+|libsupc\+\+/) origin = "C++ runtime (libstdc++)"
        else if (file ~ /libgcc/) origin = "libgcc"
        else if (file ~ /lib(kernel32|advapi32|msvcrt)\.a/) origin = "import tables and stubs"
        else origin = "MinGW start-up code and C runtime glue"
        total[origin] += size
    }
    END { for (o in total) printf "  %-40s %8d\n", o, total[o] }
' "$map" | sort -k1,1
