# Sourced by the documentation tests.

# The options the checker's help lists: in its option table, a line indented by two to four
# spaces that starts with "-" names the options before its first run of two spaces, e.g.
# "  -q, --quiet  ..." or "  --memory-limit MB  ...".
help_options() {  # help_options <varnelt-check program>
    "$1" --help | awk '
        /^(  |   |    )-/ {
            head = $0
            sub(/^ +/, "", head)
            cut = index(head, "  ")
            if (cut > 0) head = substr(head, 1, cut - 1)
            n = split(head, names, ",")
            for (i = 1; i <= n; i++) {
                name = names[i]
                sub(/^ +/, "", name)
                sub(/[ =].*/, "", name)
                if (name ~ /^--?[A-Za-z0-9][A-Za-z0-9-]*$/) print name
            }
        }' | sort -u
}
