#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the other make targets use, when
# any is missing.
# Safe to run repeatedly: it does nothing when everything is present.
set -euo pipefail

packages=(
  # Compiler and make, the Ninja generator of the presets, git for make format(-check)
  build-essential cmake ninja-build git
  # Qt for the desktop program and its tests; Qt Charts needs the Qt OpenGL module
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
  # The command-line tool's option parser; the JSON of the study's shard manifests
  libcli11-dev nlohmann-json3-dev
  # The tests (GoogleTest and GoogleMock), the batch example's independent check, and man for
  # the manual pages' check against --help
  libgtest-dev libgmock-dev python3 man-db
  # The locale sources from which a test makes a comma-decimal locale (localedef)
  locales
  # The benchmarks
  libbenchmark-dev
  # make fuzz (clang, libFuzzer and the sanitizer runtimes), make format(-check)
  clang libclang-rt-14-dev clang-format
  # The windows' Arial (Liberation Sans has its metrics); pdftotext and pdfinfo in print tests
  fonts-liberation poppler-utils
  # Screenshots of the windows on a virtual display (xvfb-run, ImageMagick)
  xvfb xauth imagemagick
  # make package (dpkg-shlibdeps) and make package-test: lintian, the checks of the desktop
  # entry, the AppStream metadata and the MIME type, bash completion, and xdotool to press
  # the installed program's Help on the virtual display
  dpkg-dev lintian desktop-file-utils appstream shared-mime-info bash-completion xdotool
  # The study's shards on a single-node Slurm that a test starts and stops itself
  slurm-wlm munge
  # The R package (make r-package, make r-check): R and its headers, Rcpp for the glue,
  # testthat for its tests, knitr and markdown for its vignette, roxygen2 for its help pages
  r-base-dev r-cran-rcpp r-cran-testthat r-cran-knitr r-cran-markdown r-cran-roxygen2
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
