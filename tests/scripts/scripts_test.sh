#!/usr/bin/env bash
# The scripts where a user meets them, in the shell: what they say and how they end when the
# machine is not as they need it, what --help and a wrong option do, and what scripts/setup
# says before it changes the system. usage: scripts_test.sh SOURCE_DIR WORK_DIR (under build/)
set -euo pipefail
src=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
show_output() { while IFS= read -r line; do echo "    $line"; done <<<"$out"; }

# Runs a command, keeping its exit status and everything it printed.
status=0
out=
capture() {
  status=0
  out=$("$@" 2>&1) || status=$?
}
# expect STATUS TEXT WHAT: the last command ended with STATUS and said TEXT.
expect() {
  if [ "$status" != "$1" ] || ! grep -qF -- "$2" <<<"$out"; then
    fail "$3: exit $status (wanted $1), without \"$2\" in:"
    show_output
  else
    echo "ok: $3"
  fi
}

# --wine with a display where no X server answers: said, not a silent exit 0 from Wine.
. "$src/scripts/wine-env"
n=$(free_display 55)
capture env DISPLAY=":$n" "$src/scripts/run" --wine
expect 2 "no X server answers at DISPLAY=:$n" "run --wine with no X server at :$n"
capture env -u DISPLAY "$src/scripts/run" --wine
expect 2 "DISPLAY is not set" "run --wine without DISPLAY"

capture "$src/scripts/build" windows
expect 2 "\"windows\" is not one of linux, win32 or all" "build with an unknown tree"

# The analysis finds its files without git: a copy with no .git lists what the checkout
# lists, and with no sources at all it fails.
copy="$work/nogit"
rm -rf "$copy" && mkdir -p "$copy"
(cd "$src" && tar --exclude=./build --exclude=./.git -cf - .) | tar --warning=no-timestamp -xf - -C "$copy"
capture "$copy/scripts/analyse" --list
count=$(tail -n 1 <<<"$out" | sed -n 's/^\([0-9]*\) files$/\1/p')
if [ "$status" != 0 ] || [ -z "$count" ] || [ "$count" -eq 0 ]; then
  fail "analyse --list without .git: exit $status, count '${count}':"
  show_output
else
  echo "ok: analyse --list without .git: $count files"
fi
# And it is the same list as in the checkout itself.
mine=$(head -n -1 <<<"$out")
capture "$src/scripts/analyse" --list
if [ "$(head -n -1 <<<"$out")" = "$mine" ]; then
  echo "ok: analyse --list without .git lists what the checkout lists"
else
  fail "analyse --list without .git differs from the checkout's: $(diff <(echo "$mine") \
        <(head -n -1 <<<"$out") | tr '\n' ' ')"
fi

# A source in the code's folders that no sources.cmake names would be compiled by no build and
# checked by nothing: the analysis says which.
touch "$copy/receivers/unlisted.cpp"
capture "$copy/scripts/analyse" --list
expect 1 "receivers/unlisted.cpp is in no sources.cmake" "analyse with a source no list names"

empty="$work/empty"
rm -rf "$empty" && mkdir -p "$empty/scripts"
cp "$src/scripts/analyse" "$empty/scripts/"
capture "$empty/scripts/analyse"
expect 1 "found no .cpp files" "analyse with no sources fails"

# ---- --help and a wrong option, in a copy of the checkout -----------------------------------
# A copy with a repository of its own, so that git status tells what a script wrote, and a
# folder with no build/ in it, so that a build started by mistake shows. Every tool that
# installs, builds or runs is a stub that notes its call and fails, so a script that goes on
# past its usage stops at once, with the evidence.
copy="$work/copy"
rm -rf "$copy" && mkdir -p "$copy"
(cd "$src" && tar --exclude=./build --exclude=./.git -cf - .) | tar --warning=no-timestamp -xf - -C "$copy"
git -C "$copy" init -q
git -C "$copy" add -A
git -C "$copy" -c user.name=test -c user.email=test@localhost commit -q -m copy
stubs="$work/stubs"
calls="$work/stub-calls"
rm -rf "$stubs" && mkdir -p "$stubs"
for tool in apt-get apt dpkg dpkg-query sudo locale locale-gen cmake ctest make wine wineboot \
            wineserver winepath Xvfb xdpyinfo clang-format clang-tidy cppcheck tmux \
            umockdev-wrapper umockdev-run convert debootstrap chroot dpkg-buildpackage; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\necho "STUB: %s $*" >&2\nexit 1\n' \
    "$tool" "$calls" "$tool" >"$stubs/$tool"
  chmod +x "$stubs/$tool"
done
here="$work/cwd" # where each script is started: it must stay empty

# run_script SCRIPT ARG: runs the copy's script with the stubs first on PATH, from an empty
# folder; keeps its status, its standard output and its standard error apart.
stdout=
stderr=
run_script() {
  rm -rf "$here" "$calls" && mkdir -p "$here"
  status=0
  (cd "$here" && PATH="$stubs:$PATH" timeout 60 "$copy/$1" "$2" </dev/null \
    >"$work/stdout" 2>"$work/stderr") || status=$?
  stdout=$(cat "$work/stdout")
  stderr=$(cat "$work/stderr")
  out=$(printf '%s\n' "$stdout" "$stderr" | sed '/^$/d')
}
# changed_nothing WHAT: the last run_script left no trace: no call of a stubbed tool, nothing
# in git status, no build/ in the copy, nothing in the folder it started in.
changed_nothing() {
  local what=$1 wrote
  wrote=$( { [ -s "$calls" ] && sed 's/^/called: /' "$calls"
             git -C "$copy" status --porcelain --ignored | sed 's/^/changed: /'
             find "$here" -mindepth 1 -maxdepth 1 | sed 's/^/made: /'; } || true)
  if [ -n "$wrote" ]; then
    fail "$what did more than answer:"
    while IFS= read -r line; do echo "    $line"; done <<<"$wrote"
    git -C "$copy" clean -qfdx && git -C "$copy" checkout -q -- .
    return 1
  fi
}
scripts=()
for f in "$copy"/scripts/* "$copy/.ci/run"; do
  [ -f "$f" ] && [ -x "$f" ] && scripts+=("${f#"$copy"/}")
done
for script in "${scripts[@]}"; do
  run_script "$script" --help
  if [ "$status" != 0 ] || ! grep -q '^usage: ' <<<"$stdout" || [ -n "$stderr" ]; then
    fail "$script --help: exit $status (wanted 0, the usage on standard output and nothing else):"
    show_output
  elif changed_nothing "$script --help"; then
    echo "ok: $script --help: the usage, and nothing else done"
  fi
  run_script "$script" --no-such-option
  if [ "$status" != 2 ] || ! grep -q '^usage: ' <<<"$stderr" || [ -n "$stdout" ]; then
    fail "$script --no-such-option: exit $status (wanted 2, the usage on standard error):"
    show_output
  elif changed_nothing "$script --no-such-option"; then
    echo "ok: $script --no-such-option: refused with exit 2 and the usage"
  fi
done

# ---- scripts/format without clang-format -------------------------------------------------------
# On a PATH of the tools it needs but clang-format: said plainly, not every file "not formatted".
bare="$work/no-clang-format"
rm -rf "$bare" && mkdir -p "$bare"
for tool in bash dirname find sort grep cut cat; do ln -s "$(command -v "$tool")" "$bare/$tool"; done
for mode in --check ""; do
  status=0
  out=$(cd "$copy" && PATH="$bare" scripts/format $mode 2>&1) || status=$?
  expect 2 "format: clang-format is not installed (scripts/setup tests installs it)" \
    "format${mode:+ $mode} without clang-format"
  grep -q 'not formatted' <<<"$out" && fail "format${mode:+ $mode} calls files not formatted"
  changed_nothing "format${mode:+ $mode} without clang-format" || true
done

# ---- scripts/setup: what it says before it acts ---------------------------------------------
# On a machine where nothing is installed (dpkg-query, locale: stubs that find nothing), each
# set names its packages, and the system changes it makes, before its first call that changes
# the system (stubs that fail, so it stops there). The terminal set changes nothing but packages.
announced_before_acting() { # SET: what it said before its first call that changes the system
  rm -rf "$here" "$calls" && mkdir -p "$here"
  status=0
  out=$(cd "$here" && PATH="$stubs:$PATH" timeout 60 "$copy/scripts/setup" "$1" </dev/null 2>&1) ||
    status=$?
  sed -n '/^STUB: \(dpkg --add-architecture\|apt-get\|locale-gen\|sudo\) /q; p' <<<"$out" |
    grep -v '^STUB: ' || true
}
said=$(announced_before_acting windows)
wanted=("installing " "wine32:i386" "g++-mingw-w64-i686-win32" "i386 architecture" "zh_TW.UTF-8")
missing_words=()
for w in "${wanted[@]}"; do grep -qF -- "$w" <<<"$said" || missing_words+=("$w"); done
if [ ${#missing_words[@]} -eq 0 ] && [ "$(wc -l <<<"$said")" -le 2 ]; then
  echo "ok: setup windows says what it installs, and the i386 architecture and the locale, before acting"
else
  fail "setup windows, before acting, said (on $(wc -l <<<"$said") lines) without" \
    "\"${missing_words[*]}\":"
  show_output
fi
grep -q '^dpkg --add-architecture i386' "$calls" ||
  fail "setup windows did not go on to add the i386 architecture: $(tr '\n' ';' <"$calls")"
said=$(announced_before_acting terminal)
if grep -qF "installing " <<<"$said" && grep -qF "binutils-mingw-w64-i686" <<<"$said" &&
   ! grep -qiE 'wine|i386|zh_TW|changes the system' <<<"$said" &&
   ! grep -qE '^dpkg --add-architecture|^locale-gen' "$calls"; then
  echo "ok: setup terminal names its packages, none of Wine's, and changes nothing else"
else
  fail "setup terminal said, before acting:"; show_output
fi
run_script scripts/setup --list
grep -qx 'wine32:i386' <<<"$stdout" && [ ! -s "$calls" ] && echo "ok: setup --list lists, calls nothing" ||
  { fail "setup --list: exit $status"; show_output; }

[ "$failures" = 0 ] || { echo "$failures failed"; exit 1; }
