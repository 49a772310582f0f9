#!/usr/bin/env bash
# Runs the shell blocks of one page of the documentation (README.md or a
# page of docs/) that are marked as runnable, in the order the page shows
# them, in a scratch folder of the page's own, and compares every output line
# the page shows with the real one. It also checks that every relative link
# of the page names a file that exists.
#
# usage: check-readme.sh PAGE BUILD_DIR WORK_DIR
#
# Markers: an HTML comment alone on a line, with only blank lines between it
# and the fenced block it marks.
#   <!-- readme-test -->            run the block
#   <!-- readme-test: COMMANDS -->  run COMMANDS first, unseen by the reader,
#                                   in the same shell (to set up what the
#                                   block needs, e.g. a second raw file)
# A block whose first line begins with "$ " is a session. Each "$ " line is a
# command (a line ending in "\" goes on with the next), and the lines below
# it, up to the next command, are its output as shown. All commands of a
# session run in one bash on a pseudo-terminal (script(1)), so that standard
# output and standard error interleave as on a screen and ls lays out its
# columns for 80 characters. Each shown line must equal the real one, except
# that a line "..." stands for any number of lines, and that a line of
# `ls -l` is compared by its mode, size and name only (not by the link count,
# owner, group and date). The exit status of a command is not checked; the
# page shows it with `echo "exit $?"` where it matters.
# Any other block is a script: it runs in bash -e -o pipefail and must exit
# with 0; its output is not compared.
#
# WORK_DIR is emptied first; inside it "build" links to BUILD_DIR, so that
# the page's build/diagraw and PATH=$PWD/build:$PATH name this build's
# programs. Nothing else is put on PATH. Every block sees what the blocks
# before it on the same page left, and nothing of any other page: a page sets
# up what it needs (with a hidden marker where the reader is told, not
# shown). Exit status 0 when every block and link passed, 1 otherwise.
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: $0 PAGE BUILD_DIR WORK_DIR" >&2; exit 2; }
readme=$(realpath "$1")
root=$(realpath "$(dirname "$0")/../..")
page=${readme#"$root"/}  # as the messages name it: README.md, docs/python.md
build_dir=$(realpath "$2")
work=$3
rm -rf "$work"
mkdir -p "$work/.blocks"
work=$(realpath "$work")
blocks=$work/.blocks
ln -s "$build_dir" "$work/build"
export LC_ALL=C COLUMNS=80 TERM=dumb
umask 022

# Cuts the marked blocks out of the page: for block N, N.prep (the hidden
# commands), N.body (the lines inside the fence) and N.line (where it starts).
awk -v dir="$blocks" '
  function fail(message) { print FILENAME ":" NR ": " message > "/dev/stderr"; bad = 1; exit 1 }
  /^<!-- readme-test(:.*)? -->$/ {
    if (marked) fail("marker without a block")
    marked = 1; prep = $0
    sub(/^<!-- readme-test:? ?/, "", prep); sub(/ ?-->$/, "", prep)
    next
  }
  marked && /^```/ {
    marked = 0; inside = 1; n++
    print prep > (dir "/" n ".prep"); close(dir "/" n ".prep")
    print NR + 1 > (dir "/" n ".line"); close(dir "/" n ".line")
    printf "" > (dir "/" n ".body")
    next
  }
  marked && !/^[ \t]*$/ { fail("marker not followed by a fenced block") }
  inside && /^```/ { inside = 0; close(dir "/" n ".body"); next }
  inside { print > (dir "/" n ".body") }
  END {
    if (!bad && (marked || inside)) { print FILENAME ": unfinished marked block" > "/dev/stderr"; exit 1 }
    print n + 0 > (dir "/count")
  }
' "$readme"
blocks_count=$(cat "$blocks/count")

# Every link of the page to a file of the repository, [text](path) or
# [text](path#anchor), must name one that exists (relative to the page).
failures=0
links=0
while IFS=: read -r number target; do
  links=$((links + 1))
  [ -e "$(dirname "$readme")/${target%%#*}" ] && continue
  echo "$page:$number: the link to $target names no file"
  failures=$((failures + 1))
done < <(awk '
  /^```/ { fenced = !fenced; next }
  !fenced {
    line = $0
    while (match(line, /\]\([^) ]+\)/)) {
      target = substr(line, RSTART + 2, RLENGTH - 3)
      line = substr(line, RSTART + RLENGTH)
      if (target !~ /^(https?:|mailto:|#)/) print NR ":" target
    }
  }' "$readme")
if [ "$blocks_count" -eq 0 ] && [ "$links" -eq 0 ]; then
  echo "$page: no block is marked <!-- readme-test --> and no link to check" >&2
  exit 1
fi

# Splits a session into commands (N.cmd.K) and shown outputs (N.shown.K).
split_session() {  # body stem
  awk -v stem="$2" '
    continued { print > (stem ".cmd." k); continued = /\\$/; next }
    /^\$ / { k++; printf "" > (stem ".shown." k); print substr($0, 3) > (stem ".cmd." k); continued = /\\$/; next }
    { print > (stem ".shown." k) }
    END { print k > (stem ".count") }
  ' "$1"
}

# Splits the output of a session run at the markers that precede each
# command: N.real.K. A marker may follow output that did not end its line.
split_output() {  # output stem
  tr -d '\r' < "$1" | awk -v stem="$2" '
    {
      line = $0
      while ((at = index(line, "@@readme-command ")) > 0) {
        if (at > 1 && k > 0) print substr(line, 1, at - 1) > (stem ".real." k)
        rest = substr(line, at + 17)
        k = substr(rest, 1, index(rest, "@@") - 1) + 0
        printf "" > (stem ".real." k)
        line = substr(rest, index(rest, "@@") + 2)
        if (line == "") next
      }
      if (k > 0) print line > (stem ".real." k)
    }'
}

# Compares a shown output with the real one; prints the first difference.
compare() {  # shown real
  awk '
    function key(line,   f, n, i, name) {
      n = split(line, f, " ")
      if (line !~ /^[-dlcbps][-rwxsStT][-rwxsStT][-rwxsStT][-rwxsStT][-rwxsStT][-rwxsStT][-rwxsStT][-rwxsStT][-rwxsStT][.+@]? +[0-9]+ / || n < 9)
        return line
      name = f[9]; for (i = 10; i <= n; i++) name = name " " f[i]
      return f[1] " " f[5] " " name
    }
    NR == FNR { sub(/[ \t]+$/, ""); shown[++m] = $0; next }
    { sub(/[ \t]+$/, ""); real[++n] = $0 }
    END {
      i = 1; j = 1
      while (i <= m) {
        if (shown[i] == "...") {
          if (i == m) exit 0
          while (j <= n && key(real[j]) != key(shown[i + 1])) j++
          i++
          continue
        }
        if (j > n) { printf "shown:  %s\nreal:   (no more output)\n", shown[i]; exit 1 }
        if (key(shown[i]) != key(real[j])) { printf "shown:  %s\nreal:   %s\n", shown[i], real[j]; exit 1 }
        i++; j++
      }
      if (j <= n) { printf "shown:  (no more output)\nreal:   %s\n", real[j]; exit 1 }
    }' "$1" "$2"
}

# In document order: block 1, 2, ... 10, not in the order of the file names.
for ((block = 1; block <= blocks_count; block++)); do
  stem=$blocks/$block
  at="$page:$(cat "$stem.line")"
  if head -n 1 "$stem.body" | grep -q '^\$ '; then
    split_session "$stem.body" "$stem"
    count=$(cat "$stem.count")
    {
      echo "cd '$work'"
      cat "$stem.prep"
      for ((k = 1; k <= count; k++)); do
        echo "printf '@@readme-command $k@@\n'"
        cat "$stem.cmd.$k"
      done
    } > "$stem.sh"
    script -qec "bash --noprofile --norc '$stem.sh'" /dev/null < /dev/null > "$stem.out" 2>&1 || true
    split_output "$stem.out" "$stem"
    for ((k = 1; k <= count; k++)); do
      [ -e "$stem.real.$k" ] || : > "$stem.real.$k"
      if ! difference=$(compare "$stem.shown.$k" "$stem.real.$k"); then
        echo "$at: \$ $(head -n 1 "$stem.cmd.$k")"
        echo "$difference"
        failures=$((failures + 1))
      fi
    done
  else
    cat "$stem.prep" "$stem.body" > "$stem.sh"
    if ! (cd "$work" && bash --noprofile --norc -e -o pipefail "$stem.sh" > "$stem.out" 2>&1 < /dev/null); then
      echo "$at: the block failed:"
      sed 's/^/    /' "$stem.out"
      failures=$((failures + 1))
    fi
  fi
done

if [ "$failures" -gt 0 ]; then
  echo "$failures of the commands, blocks or links of $page do not do what it shows; see $work"
  exit 1
fi
echo "every marked block of $page ran as shown ($blocks_count blocks; $links links checked)"
rm -rf "$work"
