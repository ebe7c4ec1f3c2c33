#!/usr/bin/env bash
# Assembles the R package fenlowick in a staging folder and builds its source tarball:
# r/fenlowick/ (the R code, the glue and the tests), the core's sources copied into its src/
# (git keeps one copy of them, in src/core/), the examples as its data, and the reference
# studies with what fenlowick-cli writes for them, against which the package's tests compare.
#   r/build-package.sh CLI STAGE
# CLI is a built fenlowick-cli; STAGE the folder that receives fenlowick/ and the tarball.
set -euo pipefail
cli=$(realpath "$1")
stage=$(realpath -m "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
package="$stage/fenlowick"

rm -rf "$package" "$stage"/fenlowick_*.tar.gz
mkdir -p "$stage"
cp -r "$root/r/fenlowick" "$package"
Rscript -e "Rcpp::compileAttributes('$package')" >/dev/null
version=$(sed -n 's/^project(Fenlowick VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
sed -i "s/^Version: .*/Version: $version/" "$package/DESCRIPTION"

# The core without what the package does not use: the shards and the study files of the
# study window (they need a JSON library) and the program's version (a header written by the
# CMake build).
(cd "$root/src" && find core -name '*.h' -o -name '*.cpp') | while read -r file; do
  case "$file" in
    core/study/studyshard.* | core/study/posteriorshard.* | core/study/studyfile.* | \
      core/study/studyoptionsjson.* | core/base/programversion.*) ;;
    *) mkdir -p "$package/src/$(dirname "$file")" && cp "$root/src/$file" "$package/src/$file" ;;
  esac
done
# The package needs nothing but R, Rcpp and a C++20 compiler: a core file that has come to
# use the JSON library (installed here, maybe not where the package is installed) must be
# left out above.
if json=$(grep -rl 'nlohmann' "$package/src"); then
  echo "r/build-package.sh: these files need the JSON library; leave them out of the package:" \
    $json >&2
  exit 1
fi
objects=$(cd "$package/src" && find . -name '*.cpp' | sed 's|^\./||; s|\.cpp$|.o|' | sort | tr '\n' ' ')
cat >"$package/src/Makevars.conf" <<MAKEVARS
# Written by r/build-package.sh; configure makes it src/Makevars, with -ffp-contract=off in
# PKG_CXXFLAGS where the compiler takes it.
CXX_STD = CXX20
PKG_CPPFLAGS = -I.
PKG_CXXFLAGS = @FP_FLAGS@
PKG_LIBS = -pthread
OBJECTS = $objects
MAKEVARS

# Small data for the examples and the vignette.
extdata="$package/inst/extdata"
mkdir -p "$extdata/estuary" "$extdata/bears"
cp "$root"/examples/study/{sources,consumers,discrimination}.csv "$extdata/estuary/"
cp "$root"/examples/concentrations/{sources,consumers}.csv "$extdata/bears/"
cp "$root/examples/diet-two-isotopes.dat" "$extdata/"

# The reference studies and what the command-line tool writes for them.
tests="$package/tests/testthat"
mkdir -p "$tests/studies" "$tests/cli"
cp -r "$root/tests/data/studies/cases" "$tests/studies/"
for folder in "$tests"/studies/cases/*/; do
  name=$(basename "$folder")
  read -r -a options <"$folder/options.txt"
  read -r -a posterior <"$folder/posterior-options.txt"
  (cd "$folder" &&
    "$cli" study sources.csv consumers.csv "${options[@]}" --draws 20 --seed 7 \
      --no-figures --quiet --output "$tests/cli/$name/study" &&
    "$cli" study sources.csv consumers.csv "${posterior[@]}" \
      --no-figures --quiet --output "$tests/cli/$name/posterior" >/dev/null &&
    "$cli" study sources.csv consumers.csv "${options[@]}" --entry-of 1 --quiet \
      --output "$tests/cli/$name/entry")
  "$cli" run "$tests/cli/$name/entry/consumer-1.dat" --as-study --quiet --no-feasible-file \
    --output "$tests/cli/$name/entry/consumer-1"
  "$cli" summary "$tests/cli/$name/entry/consumer-1.tot" --csv >"$tests/cli/$name/entry/summary.csv"
done
estuary="$root/examples/study"
"$cli" study "$estuary/sources.csv" "$estuary/consumers.csv" --discrimination \
  "$estuary/discrimination.csv" --increment 2 --tolerance 0.3 --draws 200 --by Habitat \
  --no-figures --quiet --output "$tests/cli/estuary/study"
"$cli" study "$estuary/sources.csv" "$estuary/consumers.csv" --discrimination \
  "$estuary/discrimination.csv" --posterior --increment 1 --by Habitat --draws 30 --seed 3 \
  --no-figures --quiet --output "$tests/cli/estuary/posterior" >/dev/null
"$cli" study "$estuary/sources.csv" "$estuary/consumers.csv" --discrimination \
  "$estuary/discrimination.csv" --posterior --increment 1 --error process \
  --no-figures --quiet --output "$tests/cli/estuary/posterior-pooled" >/dev/null
bears="$root/examples/concentrations"
"$cli" study "$bears/sources.csv" "$bears/consumers.csv" --increment 1 --tolerance 0.1 \
  --draws 50 --by Sex --limit "Salmon<=60" --no-figures --quiet --output "$tests/cli/bears/study"
# Most draws without a solution: the command line's note, which R gives as a message.
"$cli" study "$estuary/sources.csv" "$estuary/consumers.csv" --discrimination \
  "$estuary/discrimination.csv" --increment 2 --tolerance 0.01 --draws 50 --no-figures --quiet \
  --output "$tests/cli/estuary/few-solved" 2>"$tests/cli/estuary/few-solved.txt"
mkdir -p "$tests/cli/diet"
"$cli" run "$root/examples/diet-two-isotopes.dat" --quiet --output "$tests/cli/diet/diet"
"$cli" summary "$tests/cli/diet/diet.tot" --csv >"$tests/cli/diet/summary.csv"
"$cli" run "$root/examples/diet-two-isotopes.dat" --quiet --output "$tests/cli/diet/limited" \
  --limit "Small fish=50-60" --no-feasible-file
"$cli" summary "$tests/cli/diet/limited.tot" --csv >"$tests/cli/diet/limited.csv"
mkdir -p "$tests/cli/heron"
cp "$root/examples/heron-no-solution.dat" "$tests/cli/heron/"
"$cli" diagnose "$root/examples/heron-no-solution.dat" >"$tests/cli/heron/diagnosis.txt"
rm -f "$tests"/cli/*/*/study-files.txt "$tests"/cli/*/*.tot "$tests"/cli/*/entry/*.tot

(cd "$stage" && R CMD build fenlowick)
