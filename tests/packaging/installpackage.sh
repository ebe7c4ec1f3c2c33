#!/usr/bin/env bash
# Builds the Debian package and checks it on this machine as a user meets it: lintian finds
# no error; `make install`'s tree is the package's; apt installs it; the installed
# fenlowick-cli reproduces the example's expected totals; the installed fenlowick shows its
# installed help pages on a virtual display; the manual pages render; the menu entry, the
# MIME type, the AppStream metadata and the bash completion are in place; apt removes it and
# no file of it is left.
#
# It installs into the machine, so it needs root (without root it says so and does
# nothing). Whatever happens, it removes the package again and every package apt brought
# in for it; a package installed before it starts is removed first, so that a run killed
# half-way leaves the next one a clean machine. One run at a time on a machine (a lock).
# Usage: installpackage.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)

if [[ $(id -u) -ne 0 ]]; then
  echo "package test: skipped, it installs into the machine and needs root"
  exit 0
fi
exec 9>/var/lock/fenlowick-package-test.lock
flock -w 900 9

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...: runs the command and counts the result
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passed=$((passed + 1))
  else
    echo "FAILED: $what"
    failed=$((failed + 1))
  fi
}

apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=600 "$@"; }
installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]; }
installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }

work=$(mktemp -d /tmp/fenlowick-package-test.XXXXXX)
chmod 755 "$work" # apt reads the package as its own user
brought_in=()
cleanup() {
  if installed fenlowick || ((${#brought_in[@]} > 0)); then
    apt_get purge fenlowick "${brought_in[@]}" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if dpkg-query -W fenlowick >/dev/null 2>&1; then
  echo "A fenlowick package is on this machine; it is removed first."
  apt_get purge fenlowick >/dev/null
fi

# The package of this build.
cmake --build "$build" --target package >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
version=$(sed -n 's/^set(FENLOWICK_FULL_VERSION "\(.*\)")$/\1/p' "$build/generated/version.cmake")
deb=$build/fenlowick_${version}_$(dpkg --print-architecture).deb
cp "$deb" "$work/"
deb=$work/$(basename "$deb")
echo "Package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

lintian_clean() {
  local report status=0
  report=$(lintian --fail-on error "$deb" 2>&1) || status=$?
  grep -v '^running with root privileges' <<<"$report" || true
  return "$status"
}
check "lintian finds no error" lintian_clean

# make install puts the same files where the package does.
same_tree() {
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  diff <(cd "$work/prefix" && find . -type f | sed 's|^\.|/usr|' | sort) \
    <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' | sort)
}
check "make install's tree is the package's" same_tree

before=$(installed_packages)
apt_get install --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || {
  cat "$work/apt.log"
  exit 1
}
mapfile -t brought_in < <(comm -13 <(echo "$before") <(installed_packages) | grep -vx fenlowick || true)
dpkg -L fenlowick >"$work/files"
examples=/usr/share/doc/fenlowick/examples

versions_agree() {
  [[ $(/usr/bin/fenlowick-cli --version) == "fenlowick-cli $version" &&
    $(/usr/bin/fenlowick --version) == "fenlowick $version" &&
    $(dpkg-query -W -f='${Version}' fenlowick) == "$version" ]]
}
check "both programs and the package show version $version" versions_agree

# The first trout of the batch example as one entry: the entry's empty mixture line (its
# third) takes the trout's values; its totals must be the expected summary's rows.
run_gives_expected_totals() {
  local values
  values=$(awk -F, '$1 == "Lake trout 01" { printf "\"%s\",\"%s\"", $3, $4 }' "$examples/batch/mixtures.csv")
  mkdir "$work/run" && cd "$work/run"
  sed "3s/.*/$values,\"\",\"\",\"\"\r/" "$examples/batch/lake-trout.dat" >trout01.dat
  /usr/bin/fenlowick-cli run trout01.dat --output trout01 --quiet &&
    diff <(/usr/bin/fenlowick-cli summary --csv trout01.tot) \
      <(sed -n '1s/^mixture,//p; s/^Lake trout 01,//p' "$examples/batch/expected-summary.csv")
}
check "fenlowick-cli run on an installed example gives the expected totals" run_gives_expected_totals

batch_gives_expected_summary() {
  /usr/bin/fenlowick-cli batch "$examples/batch/lake-trout.dat" "$examples/batch/mixtures.csv" \
    --output "$work/batch" --no-feasible-file --quiet &&
    diff "$work/batch/summary.csv" "$examples/batch/expected-summary.csv"
}
check "fenlowick-cli batch on the installed batch example gives its expected summary" \
  batch_gives_expected_summary

# The desktop program started in an empty folder finds its pages where they are installed:
# Help opens the browser on the contents page ("Help page not found" otherwise).
help_finds_installed_pages() {
  mkdir "$work/desktop" && cd "$work/desktop"
  timeout 120 xvfb-run -a bash -c '
    /usr/bin/fenlowick & program=$!
    trap "kill $program 2>/dev/null" EXIT
    window=$(timeout 30 xdotool search --sync --onlyvisible --name "^Fenlowick$" | head -1)
    [[ -n $window ]] || exit 1
    xdotool windowfocus --sync "$window" key --clearmodifiers alt+h
    timeout 30 xdotool search --sync --onlyvisible --name "^Fenlowick Help$" >/dev/null'
}
check "the installed fenlowick's Help shows the installed pages" help_finds_installed_pages

manual_renders() {
  local page=$1 text
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings "$page" 2>"$work/man.err") &&
    [[ ! -s $work/man.err ]] && grep -q "^SYNOPSIS" <<<"$text"
}
check "man fenlowick-cli renders" manual_renders fenlowick-cli
check "man fenlowick renders" manual_renders fenlowick

desktop_integration() {
  desktop-file-validate /usr/share/applications/org.fenlowick.Fenlowick.desktop &&
    appstreamcli validate --no-net /usr/share/metainfo/org.fenlowick.Fenlowick.metainfo.xml &&
    [[ -f /usr/share/icons/hicolor/scalable/apps/org.fenlowick.Fenlowick.svg ]] &&
    # The triggers registered the MIME type and the entry that opens it.
    [[ -f /usr/share/mime/application/x-fenlowick-data.xml ]] &&
    grep -q '^application/x-fenlowick-data=.*org\.fenlowick\.Fenlowick\.desktop' \
      /usr/share/applications/mimeinfo.cache
}
check "menu entry, icon, MIME type and AppStream metadata are in place" desktop_integration

completes_commands() {
  local words
  words=$(bash -c 'source /usr/share/bash-completion/bash_completion
    _completion_loader fenlowick-cli
    COMP_WORDS=(fenlowick-cli s); COMP_CWORD=1; COMP_LINE="fenlowick-cli s"; COMP_POINT=15
    _fenlowick_cli fenlowick-cli s fenlowick-cli; echo "${COMPREPLY[*]}"')
  [[ $words == "summary study" ]]
}
check "bash completes fenlowick-cli's commands" completes_commands

cd /
apt_get purge fenlowick >"$work/apt.log" 2>&1 || cat "$work/apt.log"
if ((${#brought_in[@]} > 0)); then
  apt_get purge "${brought_in[@]}" >/dev/null 2>&1 || true
  brought_in=()
fi
# No file of the package is left, nor a folder that no other package owns.
nothing_left() {
  local path left=0
  ! dpkg-query -W fenlowick >/dev/null 2>&1 || left=1
  while read -r path; do
    if [[ -f $path || -L $path ]] || { [[ -d $path ]] && ! dpkg -S "$path" >/dev/null 2>&1; }; then
      echo "left: $path"
      left=1
    fi
  done <"$work/files"
  ((left == 0))
}
check "apt removes the package and leaves none of its files" nothing_left

echo "package: $passed passed, $failed failed"
((failed == 0))
