#!/usr/bin/env bash
# The packaged AppStream metadata against the packaged desktop entry and the version: the
# launchable names the entry, the media types are the entry's MIME types, the binaries are the
# packaged programs, the newest release is this version, and summary, description and the
# entry's Name and Comment each come in English and in Japanese.
# Usage: check_metainfo.sh <package> <version>
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"
if ! command -v python3 >/dev/null; then
    echo "python3 is not installed: the metadata is not read" >&2
    exit 77
fi
unpack "$1"
python3 - "$root" "$2" <<'PYTHON'
import pathlib
import sys
import xml.etree.ElementTree as ET

root, version = pathlib.Path(sys.argv[1]), sys.argv[2]
LANG = "{http://www.w3.org/XML/1998/namespace}lang"
passed = failed = 0


def check(what, holds):
    global passed, failed
    if holds:
        passed += 1
    else:
        failed += 1
        print(f"FAIL: {what}", file=sys.stderr)


def languages(elements):
    return sorted(e.get(LANG, "en") for e in elements)


metainfo_files = list((root / "usr/share/metainfo").glob("*.metainfo.xml"))
check(f"one metainfo file in usr/share/metainfo: {metainfo_files}", len(metainfo_files) == 1)
metainfo = metainfo_files[0]
component = ET.parse(metainfo).getroot()
check(f"{metainfo.name} is named by its id", metainfo.name == component.findtext("id") + ".metainfo.xml")

launchable = component.findtext("launchable[@type='desktop-id']")
desktop_file = root / "usr/share/applications" / launchable
check(f"the launchable {launchable} is packaged", desktop_file.is_file())
entry = {}
for line in desktop_file.read_text(encoding="utf-8").splitlines():
    key, _, value = line.partition("=")
    entry[key] = value
mime_types = sorted(filter(None, entry.get("MimeType", "").split(";")))
media_types = sorted(e.text for e in component.findall("provides/mediatype"))
check(f"the media types {media_types} are the entry's MIME types {mime_types}",
      mime_types and media_types == mime_types)

for binary in (e.text for e in component.findall("provides/binary")):
    program = root / "usr/bin" / binary
    check(f"the binary {binary} is packaged", program.is_file())
check("both programs are provided",
      sorted(e.text for e in component.findall("provides/binary")) == ["varnelt", "varnelt-check"])

releases = [r.get("version") for r in component.findall("releases/release")]
check(f"the newest release {releases[:1]} is {version}", releases[:1] == [version])

for tag in ("summary", "description/p"):
    found = languages(component.findall(tag))
    check(f"{tag} is in English and Japanese: {found}", "en" in found and "ja" in found)
for key in ("Name", "Comment"):
    check(f"the entry has {key} in English and Japanese", key in entry and f"{key}[ja]" in entry)

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
PYTHON
