#!/usr/bin/env bash
# Checks quorva as users get it, not as the build tree holds it: a DESTDIR install of BUILD_DIR
# run with the build tree moved away, its manual pages, bash completion and library consumers
# (pkg-config and find_package), then the Debian packages, their lintian report and their
# contents unpacked into a scratch root.
# Usage: packaging/check-install.sh [BUILD_DIR]      (default: build, as the default preset)
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=${1:-build}
build=$(cd "$build" && pwd)

scratch=$(mktemp -d)
away=
cleanup() {
    if [ -n "$away" ] && [ -d "$away" ]; then
        mv "$away" "$build"
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
    echo "check-install: $*" >&2
    exit 1
}

# Runs a command and compares its standard output with the text expected.
expect_output() {
    local expected=$1
    shift
    local got
    got=$("$@") || fail "$* ended with status $?"
    [ "$got" = "$expected" ] || fail "$*: expected '$expected', got '$got'"
}

echo "== Install into a scratch DESTDIR"
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$scratch/dest cmake --install "$build" >/dev/null
root=$scratch/dest$prefix
"$build/quorva-make-demo" "$scratch/demo.sgy" >/dev/null
mapfile -t programs < <(cd "$root/bin" && ls quorva-*)
[ ${#programs[@]} -ge 4 ] || fail "only ${#programs[*]} programs installed"
libdir=$(dirname "$(find "$root" -name 'libquorva.so.0' -print -quit)")

echo "== Run the installed programs with the build tree out of the way"
away=$build.away.$$
mv "$build" "$away"
bin=$root/bin
demo=$scratch/demo.sgy
for program in "${programs[@]}"; do
    loaded=$(ldd "$bin/$program" | awk '$1 == "libquorva.so.0" { print $3 }')
    [ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$libdir/libquorva.so.0")" ] ||
        fail "$program loads libquorva.so.0 from '$loaded', not from $libdir"
    version=$("$bin/$program" --version)
    [[ $version == "$program (quorva version "[0-9]*.[0-9]*")" ]] || fail "$program --version: $version"
    "$bin/$program" --help >/dev/null || fail "$program --help ended with status $?"
done
expect_output 250 sh -c "'$bin/quorva-showbin' '$demo' | awk '\$1 == \"hns\" { print \$2 }'"
expect_output 80 sh -c "'$bin/quorva-showtext' --all '$demo' | wc -l"
expect_output 24 sh -c "'$bin/quorva-showtrace' -t 720 '$demo' | awk '\$1 == \"iline\" { print \$2 }'"
"$bin/quorva-trim" -i 5 -I 8 -x 110 -X 119 -s 200 -S 600 "$demo" "$scratch/cube.sgy"
expect_output 40 sh -c "'$bin/quorva-showtrace' -r 1 40 '$scratch/cube.sgy' | grep -c '^tracl'"
expect_output 101 sh -c "'$bin/quorva-showbin' '$scratch/cube.sgy' | awk '\$1 == \"hns\" { print \$2 }'"
if [ -x "$bin/quorva-scan" ]; then
    expect_output 720 sh -c "'$bin/quorva-scan' '$demo' | awk '\$1 == \"traces\" { print \$2 }'"
fi

echo "== Manual pages: lint the sources, render the installed pages"
if command -v mandoc >/dev/null; then
    mandoc -T lint -W warning "$source_dir"/man/*.[1-9] || fail "mandoc found faults in the pages"
else
    for page in "$source_dir"/man/*.[1-9]; do
        out=$(groff -ww -z -man "$page" 2>&1) && [ -z "$out" ] || fail "$page: $out"
    done
fi
for program in "${programs[@]}"; do
    [ -f "$root/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
done
# The pages name the version they describe.
version=$(sed -n 's/^Version: //p' "$libdir/pkgconfig/quorva.pc")
for page in "$source_dir"/man/*.[1-9]; do
    grep -q "^\.TH .* \"quorva $version\"" "$page" || fail "$page does not say quorva $version"
done
# Every call of quorva.h is in the library page's synopsis and has its link to the page.
for name in $(grep -o 'QUORVA_API [^(]*(' "$source_dir/libquorva/quorva.h" |
    sed -n 's/.*[ *]\(quorva_[a-z0-9_]*\)($/\1/p'); do
    grep -q "$name(" "$source_dir/man/libquorva.3" || fail "libquorva(3) does not describe $name"
    [ -e "$root/share/man/man3/$name.3.gz" ] || fail "no manual page link for $name"
done
for page in "$root"/share/man/man*/*; do
    out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) && [ -z "$out" ] ||
        fail "man -l $page: $out"
done

echo "== Shell completion"
bash "$source_dir/completion/test-completion.sh" --installed \
    "$root/share/bash-completion/completions" "${programs[@]}"
[ -f "$root/share/zsh/vendor-completions/_quorva" ] || fail "no zsh completion installed"
if command -v zsh >/dev/null; then
    zsh "$source_dir/completion/test-zsh-completion.zsh" "$root/share/zsh/vendor-completions"
fi

echo "== A C program through pkg-config, built as the README says"
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc "$source_dir/packaging/consumer/consumer.c" -o "$scratch/pc-consumer" \
    $(pkg-config --cflags --libs quorva) -Wl,-rpath,"$(pkg-config --variable=libdir quorva)"
expected="quorva $(pkg-config --modversion quorva): 250 samples, 720 traces, last inline 24"
expect_output "$expected" "$scratch/pc-consumer" "$demo"
unset PKG_CONFIG_PATH

echo "== A CMake project through find_package(quorva CONFIG)"
cmake -S "$source_dir/packaging/consumer" -B "$scratch/cmake-consumer" \
    -DCMAKE_PREFIX_PATH="$root" >/dev/null
cmake --build "$scratch/cmake-consumer" >/dev/null
expect_output "$expected" "$scratch/cmake-consumer/consumer" "$demo"

mv "$away" "$build"
away=

echo "== Debian packages"
cmake --workflow --preset package >/dev/null
debs=("$source_dir"/build-package/*.deb)
[ ${#debs[@]} -eq 3 ] || fail "expected 3 packages, found ${#debs[@]}"
lint_status=0
lint_report=$(lintian --fail-on error --tag-display-limit 0 "${debs[@]}" 2>&1) || lint_status=$?
grep -v 'root privileges' <<<"$lint_report" || true
[ "$lint_status" -eq 0 ] || fail "lintian reports errors"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
debroot=$scratch/debroot
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$debroot"
done
[ -L "$debroot/usr/lib/$multiarch/libquorva.so.0" ] || fail "libquorva.so.0 not in /usr/lib/$multiarch"
depends=$(dpkg-deb -f "$source_dir"/build-package/quorva_*.deb Depends)
[[ $depends == *libquorva0* && $depends == *libc6* ]] || fail "quorva depends on: $depends"
expect_output 250 sh -c "LD_LIBRARY_PATH='$debroot/usr/lib/$multiarch' \
    '$debroot/usr/bin/quorva-showbin' '$demo' | awk '\$1 == \"hns\" { print \$2 }'"
# libquorva-dev's CMake package and pkg-config file, from the unpacked packages.
cmake -S "$source_dir/packaging/consumer" -B "$scratch/deb-consumer" \
    -DCMAKE_PREFIX_PATH="$debroot/usr" >/dev/null
cmake --build "$scratch/deb-consumer" >/dev/null
expect_output "$expected" env LD_LIBRARY_PATH="$debroot/usr/lib/$multiarch" \
    "$scratch/deb-consumer/consumer" "$demo"
PKG_CONFIG_PATH=$debroot/usr/lib/$multiarch/pkgconfig pkg-config --exists quorva ||
    fail "libquorva-dev's pkg-config file is not found"
echo "every install check passed"
