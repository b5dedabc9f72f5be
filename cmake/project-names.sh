# Sourced by the packaging scripts: the product's and its maker's names,
# read from CMakeLists.txt, where they are written once.
#   corvane_top=TOP; . project-names.sh   sets corvane_product, corvane_company
#                                          and corvane_event_source
corvane_name() { sed -n "s/^set($1 \"\\(.*\\)\")\$/\\1/p" "$corvane_top/CMakeLists.txt"; }
corvane_product=$(corvane_name CORVANE_PRODUCT)
corvane_company=$(corvane_name CORVANE_COMPANY)
corvane_event_source=$(corvane_name CORVANE_EVENT_SOURCE | sed "s/\${CORVANE_COMPANY}/$corvane_company/")
[ -n "$corvane_product" ] && [ -n "$corvane_company" ] || {
    echo "project-names.sh: no CORVANE_PRODUCT or CORVANE_COMPANY in $corvane_top/CMakeLists.txt" >&2
    exit 1
}
