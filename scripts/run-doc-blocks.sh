#!/usr/bin/env bash
# Runs the marked code blocks of a Markdown document in order, as a reader
# would type them, so that the documentation's examples are tested as written.
#
# Usage: scripts/run-doc-blocks.sh [--in DIR] [--tree DIR] [--link NAME=PATH]...
#                                  DOCUMENT MARKER
#
# A block is marked by the word MARKER after the language of its opening fence
# (renderers show the language and ignore the rest of the line):
#
#   ```sh quickstart          run by bash, with -e -u -o pipefail
#   ```c quickstart ldl.c     written to the file ldl.c, for a later block to
#                             compile; a block of any language may name a file
#
# Blocks that name the same file are joined into it in order, so that one
# program may be shown in parts with prose between them.
#
# Unmarked blocks are left alone: the commands that install or build, output
# shown as text, fragments. A marked block of another language than sh, bash
# or shell must name a file.
#
# Every block runs in, or is written to, one folder: DIR (made afresh; a DIR
# that exists must be one that this script made before) or a temporary folder,
# removed when every block succeeded. --tree links each top-level entry of a
# source tree into it, so that commands written from the repository's root run
# as written while the files they make stay in the folder; --link adds or
# replaces one entry (build=PATH: the build folder under test). HOME is the
# folder too, so that nothing written below ~ leaves it.
#
# Exit status: 0 when every marked block succeeded (and at least one was
# found); 1 when one failed, naming its line in the document; 2 on a usage
# error.
set -euo pipefail

usage() {
  echo "usage: $0 [--in DIR] [--tree DIR] [--link NAME=PATH]... DOCUMENT MARKER" >&2
  exit 2
}

dir="" tree="" links=()
while [ $# -gt 0 ]; do
  case "$1" in
    --in) [ $# -ge 2 ] || usage; dir=$2; shift 2 ;;
    --tree) [ $# -ge 2 ] || usage; tree=$2; shift 2 ;;
    --link) [ $# -ge 2 ] && [[ "$2" == ?*=?* ]] || usage; links+=("$2"); shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || usage
document=$(realpath "$1") marker=$2
[ -f "$document" ] || { echo "$0: no document $1" >&2; exit 2; }

# The folder, made afresh. A folder made by an earlier run carries a stamp;
# any other existing folder is refused rather than emptied.
stamp=.doc-blocks-folder
if [ -n "$dir" ]; then
  if [ -e "$dir" ]; then
    [ -f "$dir/$stamp" ] || { echo "$0: $dir exists and was not made by this script" >&2; exit 2; }
    rm -rf "$dir"
  fi
  mkdir -p "$dir"
  keep=1
else
  dir=$(mktemp -d "${TMPDIR:-/tmp}/doc-blocks.XXXXXX")
  keep=""
fi
dir=$(realpath "$dir")
touch "$dir/$stamp"
if [ -n "$tree" ]; then
  for entry in "$(realpath "$tree")"/*; do
    ln -s "$entry" "$dir/$(basename "$entry")"
  done
fi
for link in "${links[@]}"; do
  rm -f "$dir/${link%%=*}"
  ln -s "$(realpath "${link#*=}")" "$dir/${link%%=*}"
done

# The marked blocks, each to a file of its own in .blocks/, and a list of
# them: number, line of the opening fence, language, file name (or -).
blocks=$dir/.blocks
mkdir "$blocks"
awk -v marker="$marker" -v out="$blocks" '
  # An opening fence: three or more backquotes or tildes after any indent.
  !open && match($0, /^ *(```+|~~~+)/) {
    fence_end = RLENGTH
    match($0, /^ */)
    indent = RLENGTH
    fence = substr($0, indent + 1, fence_end - indent)
    info = substr($0, fence_end + 1)
    sub(/^[ \t]+/, "", info)
    split(info, word, /[ \t]+/)
    open = 1
    marked = word[2] == marker
    if (marked) {
      ++n
      printf "%d %d %s %s\n", n, NR, word[1], (word[3] == "" ? "-" : word[3]) > (out "/list")
      printf "" > (out "/" n ".block")
    }
    next
  }
  # Its closing fence: the same character, at least as many, nothing else.
  open && match($0, /^ *(```+|~~~+) *$/) {
    run = $0
    gsub(/ /, "", run)
    if (substr(run, 1, 1) == substr(fence, 1, 1) && length(run) >= length(fence)) {
      if (marked) close(out "/" n ".block")
      open = 0
      next
    }
  }
  # A line of a marked block, without the indent of its fence.
  open && marked {
    line = $0
    for (i = 0; i < indent && substr(line, 1, 1) == " "; ++i) line = substr(line, 2)
    print line > (out "/" n ".block")
  }
' "$document"

if [ ! -s "$blocks/list" ]; then
  echo "$0: no block of $document is marked '$marker'" >&2
  exit 1
fi

failed="" written=" "
while read -r number line language file; do
  where="$(basename "$document"):$line"
  if [ "$file" != "-" ]; then
    echo "== $where: $file"
    mkdir -p "$(dirname "$dir/$file")"
    if [[ "$written" == *" $file "* ]]; then
      cat "$blocks/$number.block" >>"$dir/$file"
    else
      cp "$blocks/$number.block" "$dir/$file"
      written+="$file "
    fi
    continue
  fi
  case "$language" in
    sh | bash | shell) ;;
    *) echo "$0: $where: a marked $language block must name a file" >&2; exit 1 ;;
  esac
  echo "== $where: running"
  sed 's/^/   | /' "$blocks/$number.block"
  if ! (cd "$dir" && HOME=$dir bash -euo pipefail "$blocks/$number.block") </dev/null; then
    failed=$where
    break
  fi
done <"$blocks/list"

if [ -n "$failed" ]; then
  echo "$0: the block at $failed failed; its folder is $dir" >&2
  exit 1
fi
echo "$(wc -l <"$blocks/list") marked blocks of $(basename "$document") ran as written"
[ -n "$keep" ] || rm -rf "$dir"
