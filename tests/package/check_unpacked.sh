#!/usr/bin/env bash
# Unpacks the package into a scratch root (dpkg-deb -x) and runs it from there: varnelt-check
# finds its worker and every archiver library in <root>/usr/lib/varnelt and judges a good and
# a damaged archive; the programs are stripped and the manual pages open with man.
# Usage: check_unpacked.sh <package> <archiver library file>...
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"
package="$1"
shift
unpack "$package"

for file in "$root"/usr/bin/* "$root"/usr/lib/varnelt/*; do
    check "${file#"$root"/} is stripped: $(file -b "$file")" grep -q ', stripped' <<<"$(file -b "$file")"
done

# Nothing but the unpacked tree can supply the libraries and the settings; the verdicts are
# the Japanese ones.
run_check() {
    env -u LD_LIBRARY_PATH XDG_CONFIG_HOME="$scratch/config" LANGUAGE=ja \
        "$root/usr/bin/varnelt-check" "$@"
}
version="$(run_check --version)"
for library in "$@"; do
    check "varnelt-check --version lists $library as installed: $version" \
        grep -qE "^[a-z0-9]+ +${library//./\\.} +[0-9]+\.[0-9]+\$" <<<"$version"
done

mkdir "$scratch/archives"
cd "$scratch/archives"
for _ in {1..20}; do echo 'a line of the stored file'; done >a.txt
zip -q -X -0 good.zip a.txt
cp good.zip damaged.zip
# Stored data starts after the 30-byte local header and the 5-byte name: a byte of it changed
# no longer matches the stored CRC.
printf '#' | dd of=damaged.zip bs=1 seek=40 conv=notrunc status=none

# expect_verdict <archive> <exit status> <verdict>
expect_verdict() {
    local log status=0 cr=$'\r'
    log="$(run_check "$1" 2>/dev/null)" || status=$?
    check "$1 exits with $2, not $status" [ "$status" -eq "$2" ]
    # The log's records end in CR LF.
    check "$1 is judged $3: $log" grep -q "^\"$1\",.*,\"$3\"$cr\$" <<<"$log"
}
expect_verdict good.zip 0 正常な書庫ﾌｧｲﾙ
expect_verdict damaged.zip 1 破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ

for page in varnelt varnelt-check; do
    title="${page^^}(1)"
    check "man opens the packaged $page(1)" \
        grep -qF "$title" <<<"$(MANPATH="$root/usr/share/man" MANWIDTH=80 man "$page" 2>/dev/null)"
done
finish
