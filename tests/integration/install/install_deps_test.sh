#!/usr/bin/env bash
# install_deps_test.sh SCRIPT: runs scripts/install-deps against a fake apt-get, apt-cache and
# dpkg-query that record what would be installed, on a system where nothing is installed yet.
set -uo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/no-apt"
cat > "$work/bin/apt-get" <<'FAKE'
#!/bin/bash
if [ "$1 $2" = "install -s" ]; then for p in "$@"; do [[ $p == -* || $p == install ]] || echo "Inst $p"; done; exit 0; fi
echo "$*" >> "$APT_LOG"
FAKE
cat > "$work/bin/apt-cache" <<'FAKE'
#!/bin/bash
[[ " $UNKNOWN " == *" $2 "* ]] || printf '%s:\n  Candidate: 1.0\n' "$2"
FAKE
printf '#!/bin/sh\nexit 1\n' > "$work/bin/dpkg-query"
chmod +x "$work/bin/"*
for tool in bash cat id; do ln -s "$(command -v $tool)" "$work/no-apt/$tool"; done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# install-deps [ARG]: runs it; sets $out and $installed (the packages asked of apt-get install).
install_deps() {
  : > "$work/log"
  out=$(APT_LOG="$work/log" PATH="$work/bin:$PATH" "$script" "$@" 2>&1)
  installed=" $(sed -n 's/^install -y -q --no-install-recommends //p' "$work/log") "
}

export UNKNOWN=""
install_deps
[[ $installed == *" qt6-base-dev "* && $installed == *" libatspi2.0-dev "* ]] || fail "run set lacks the libraries: $installed"
for extra in chromium firefox-esr libreoffice-writer kwin-x11 kwin-wayland mutter xfwm4 weston openbox clang-19 \
             libgtest-dev xvfb mousepad; do
  [[ $installed != *" $extra "* ]] || fail "run set installs $extra"
done
[[ $out =~ installing\ [0-9]+\ packages,\ [0-9]+\ with\ their\ dependencies ]] || fail "no count said: $out"

UNKNOWN="firefox-esr libkf5globalaccel-bin"
install_deps --test
for p in clang-19 chromium appstream zsh qt6-base-dev; do
  [[ $installed == *" $p "* ]] || fail "test set lacks $p"
done
for p in $UNKNOWN; do
  [[ $out == *"no package named $p; skipping it"* ]] || fail "unknown $p not reported: $out"
  [[ $installed != *" $p "* ]] || fail "unknown $p still asked for"
done

out=$(PATH="$work/no-apt" "$script" 2>&1)
status=$?
[ "$status" -eq 1 ] || fail "without apt-get: exit $status"
for word in "Qt 6 Widgets" qt6-qtbase-devel "AT-SPI 2" at-spi2-core-devel libcurl-devel libicu-devel json-devel \
            libsecret-devel libXtst-devel libXi-devel libXres-devel; do
  [[ $out == *"$word"* ]] || fail "without apt-get, no word of $word"
done

echo "$((failures == 0 ? 1 : 0)) passed, $((failures == 0 ? 0 : 1)) failed"
[ "$failures" -eq 0 ]
