#!/usr/bin/env bash
# Checks the manual pages against the programs' own --help, so that they cannot drift apart:
# every command of fenlowick-cli has its section; each section holds every option, argument
# and exit code of that command's help, and names no option or exit code the command lacks;
# the general options and exit codes are in OPTIONS and EXIT STATUS, as are fenlowick's.
# The pages must render without a warning.
# Usage: manpages.sh PAGES_FOLDER FENLOWICK_CLI [FENLOWICK]
set -euo pipefail
pages=$1
cli=$2
gui=${3:-}
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The page's source with the escapes of hyphens, fonts and zero-width breaks removed.
plain() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' "$1"; }

# The lines of a page from the heading matching the pattern to the next heading of its level
# or above.
section() {
  local stop='^\.S[HS]'
  [[ $2 == '^\.SH'* ]] && stop='^\.SH'
  awk -v head="$2" -v stop="$stop" '$0 ~ head { on = 1; next } on && $0 ~ stop { exit } on' <<<"$1"
}

# From a help text: the options (short and long), the arguments, the exit codes.
options_of() {
  sed -n '/^Options:/,/^$/p' <<<"$1" | grep -oE '^ +(-[A-Za-z], ?)?--[a-z][a-z-]*' |
    grep -oE -- '-{1,2}[A-Za-z][a-z-]*' || true
}
arguments_of() { sed -n '/^\(Positionals\|Arguments\):/,/^$/p' <<<"$1" | grep -oE '^  [A-Z]+' || true; }
codes_of() {
  sed -n '/^Exit codes:/,$p' <<<"$1" | grep -oE '^ +[0-9]+(, [0-9]+)*' | grep -oE '[0-9]+' |
    sort -n | tr '\n' ' ' || true
}
# The exit codes a page section lists, as ".B 3" or ".B "129, 130"" entries.
page_codes_of() {
  grep -E '^\.B "?[0-9]' <<<"$1" | grep -oE '[0-9]+' | sort -n | tr '\n' ' ' || true
}
# The long options a page section names.
page_options_of() {
  grep -oE -- '(^|[^A-Za-z0-9-])--[a-z][a-z-]*' <<<"$1" | grep -oE -- '--[a-z][a-z-]*' |
    sort -u || true
}
has_word() { grep -qE -- "(^|[^A-Za-z0-9-])$2([^A-Za-z0-9-]|$)" <<<"$1"; }

# Checks one page section against one help text. Arguments: name, section text, help text,
# whether -h/--help belong to the section.
check_section() {
  local name=$1 text=$2 help=$3 with_help=$4 option argument
  for option in $(options_of "$help"); do
    if [[ $with_help == no && ($option == -h || $option == --help) ]]; then
      continue
    fi
    has_word "$text" "$option" || fail "$name lacks the option $option"
  done
  for option in $(page_options_of "$text"); do
    grep -qxF -- "$option" <<<"$(options_of "$help")" ||
      fail "$name names $option, which the help does not have"
  done
  for argument in $(arguments_of "$help"); do
    has_word "$text" "$argument" || fail "$name lacks the argument $argument"
  done
  [[ "$(page_codes_of "$text")" == "$(codes_of "$help")" ]] ||
    fail "$name lists the exit codes '$(page_codes_of "$text")', the help '$(codes_of "$help")'"
}

check_renders() {
  local warnings
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$(basename "$1") renders with warnings: $warnings"
}

page=$(plain "$pages/fenlowick-cli.1")
help=$("$cli" --help)
commands=$(sed -n '/^Subcommands:/,/^$/p' <<<"$help" | grep -oE '^  [a-z]+' | tr -d ' ')
[[ -n $commands ]] || fail "fenlowick-cli --help lists no command"
for command in $commands; do
  text=$(section "$page" "^\\.SS \"?$command\"?\$")
  if [[ -z $text ]]; then
    fail "fenlowick-cli.1 has no section for the command $command"
    continue
  fi
  check_section "fenlowick-cli.1, $command," "$text" "$("$cli" "$command" --help)" no
done
for command in $(section "$page" '^\.SH COMMANDS' | sed -n 's/^\.SS "\{0,1\}\([a-z]*\).*/\1/p'); do
  grep -qx "$command" <<<"$commands" || fail "fenlowick-cli.1 has a section for $command, no such command"
done
# The general options and the exit codes of every command, together.
check_section "fenlowick-cli.1, OPTIONS and EXIT STATUS," \
  "$(section "$page" '^\.SH OPTIONS'; section "$page" '^\.SH EXIT STATUS')" "$help" yes
check_renders "$pages/fenlowick-cli.1"

if [[ -n $gui ]]; then
  page=$(plain "$pages/fenlowick.1")
  check_section "fenlowick.1, OPTIONS and EXIT STATUS," \
    "$(section "$page" '^\.SH OPTIONS'; section "$page" '^\.SH EXIT STATUS')" \
    "$("$gui" --help)" yes
  check_renders "$pages/fenlowick.1"
fi

if ((failures > 0)); then
  echo "$failures differences between the manual pages and --help"
  exit 1
fi
echo "The manual pages match --help."
