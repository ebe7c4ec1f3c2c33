#!/usr/bin/env bash
# Writes the package's files made from the sources into OUTPUT_DIR:
#   changelog.gz   the Debian changelog, one entry per section of CHANGELOG.md; the first
#                  entry carries the version of this build (VERSION_FILE)
#   org.fenlowick.Fenlowick.metainfo.xml
#                  the AppStream metadata, with a <release> per section of CHANGELOG.md
#   copyright      the Debian copyright file with the licence of LICENSE
#   *.1.gz         the manual pages, compressed without name or time stamp
# and fails when the first section of CHANGELOG.md is not the project's version.
# Usage: packagefiles.sh SOURCE_DIR PROJECT_VERSION VERSION_FILE MAINTAINER OUTPUT_DIR
set -euo pipefail
source_dir=$1
project_version=$2
version=$(sed -n 's/^set(FENLOWICK_FULL_VERSION "\(.*\)")$/\1/p' "$3")
maintainer=$4
output=$5
changes=$source_dir/CHANGELOG.md

first=$(grep -m1 '^## ' "$changes" || true)
if [[ ! $first =~ ^'## '([^ ]+)' ('([0-9]{4}-[0-9]{2}-[0-9]{2})')'$ ]]; then
  echo "CHANGELOG.md: the first release heading must read '## VERSION (YYYY-MM-DD)'" >&2
  exit 1
fi
if [[ ${BASH_REMATCH[1]} != "$project_version" ]]; then
  echo "CHANGELOG.md begins with ${BASH_REMATCH[1]}; the project's version is $project_version" >&2
  exit 1
fi

mkdir -p "$output"
# Each "## V (D)" heading opens an entry, "- " items become "  * ", their continuation lines
# "    "; the first entry takes this build's version.
awk -v version="$version" -v maintainer="$maintainer" '
  function close_entry() {
    if (open) {
      cmd = "date -u -R -d " day
      cmd | getline stamp
      close(cmd)
      printf "\n -- %s  %s\n", maintainer, stamp
    }
  }
  /^## / {
    close_entry()
    if (open) print ""
    entry = open ? $2 : version
    day = substr($3, 2, 10)
    printf "fenlowick (%s) unstable; urgency=medium\n\n", entry
    open = 1
    next
  }
  open && /^- / { print "  * " substr($0, 3); next }
  open && /^  [^ ]/ { print "    " substr($0, 3); next }
  END { close_entry() }
' "$changes" | gzip -9n >"$output/changelog.gz"

sed -n 's/^## \([^ ]*\) (\(.*\))$/    <release version="\1" date="\2"\/>/p' "$changes" \
  >"$output/releases.xml"
sed -e "/@RELEASES@/{r $output/releases.xml" -e 'd}' \
  "$source_dir/packaging/org.fenlowick.Fenlowick.metainfo.xml.in" \
  >"$output/org.fenlowick.Fenlowick.metainfo.xml"
rm "$output/releases.xml"

{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: Fenlowick"
  echo "Upstream-Contact: $maintainer"
  echo
  echo "Files: *"
  echo "Copyright: $(sed -n 's/^Copyright \(.*\)$/\1/p' "$source_dir/LICENSE")"
  echo "License: MIT"
  echo
  echo "License: MIT"
  # The licence's text after its title and copyright line, blank lines written as " .".
  sed '1,/^Copyright /d' "$source_dir/LICENSE" | sed '/./,$!d' |
    sed -e 's/^$/./' -e 's/^/ /'
} >"$output/copyright"

for page in fenlowick fenlowick-cli; do
  gzip -9n -c "$source_dir/packaging/$page.1" >"$output/$page.1.gz"
done
