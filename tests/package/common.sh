# shellcheck shell=bash
# Shared by the package checks: a scratch folder removed on exit, the package unpacked into
# it, and the count of passed and failed checks.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
# shellcheck source-path=SCRIPTDIR source=../support/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

# unpack <package>: its files under $root as dpkg would put them under /.
unpack() {
    dpkg-deb -x "$1" "$root"
}
