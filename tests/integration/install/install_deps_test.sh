#!/usr/bin/env bash
# install_deps_test.sh SCRIPT: runs scripts/install-deps against a fake apt-get, apt-cache and
# dpkg-query that record what would be installed, on a system where nothing is installed yet.
set -uo pipefail
script=$1 work=$(mktemp -d) failures=0
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/no-apt"
printf '#!/bin/bash\n[ "$1 $2" = "install -s" ] && { printf "Inst %%s\\n" "$@"; exit; }; echo "$*" >>"$APT_LOG"\n' \
  >"$work/bin/apt-get"
printf '#!/bin/bash\n[[ " $UNKNOWN " == *" $2 "* ]] || echo "  Candidate: 1.0"\n' >"$work/bin/apt-cache"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
chmod +x "$work/bin/"* && for tool in bash cat id; do ln -s "$(command -v $tool)" "$work/no-apt/$tool"; done
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# install_deps [ARG]: sets $out and $installed (what apt-get install was asked for).
install_deps() {
  : >"$work/log"
  out=$(APT_LOG="$work/log" PATH="$work/bin:$PATH" "$script" "$@" 2>&1)
  installed=" $(sed -n 's/^install -y -q --no-install-recommends //p' "$work/log") "
}

UNKNOWN="" install_deps
[[ $installed == *" qt6-base-dev "* && $installed == *" libatspi2.0-dev "* ]] || fail "run set: $installed"
for extra in chromium firefox-esr libreoffice-writer kwin-x11 mutter xfwm4 weston openbox clang-19 libgtest-dev xvfb; do
  [[ $installed != *" $extra "* ]] || fail "run set installs $extra"
done
[[ $out =~ installing\ [0-9]+\ packages,\ [0-9]+\ with\ their\ dependencies ]] || fail "no count said: $out"

UNKNOWN="firefox-esr libkf5globalaccel-bin" install_deps --test
[[ $installed == *" clang-19 "* && $installed == *" chromium "* && $installed == *" zsh "* ]] || fail "test set: $installed"
for p in firefox-esr libkf5globalaccel-bin; do
  [[ $out == *"no package named $p; skipping it"* && $installed != *" $p "* ]] || fail "unknown $p: $out"
done

out=$(PATH="$work/no-apt" "$script" 2>&1)
[ $? -eq 1 ] || fail "without apt-get: not exit 1"
for word in "Qt 6 Widgets" qt6-qtbase-devel "AT-SPI 2" at-spi2-core-devel libcurl-devel libicu-devel json-devel \
  libsecret-devel libXtst-devel libXi-devel libXres-devel; do
  [[ $out == *"$word"* ]] || fail "without apt-get, no word of $word"
done
echo "$((failures == 0)) passed, $((failures != 0)) failed"
[ "$failures" -eq 0 ]
