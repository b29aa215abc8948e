#!/usr/bin/env bash
# The bash completion of quillmere-cli: the commands, the fixed values of options, the files
# each argument takes, and every long option that each command's --help lists.
#   completion.sh QUILLMERE-CLI COMPLETION-SCRIPT
set -euo pipefail
cli=$(realpath "$1")
# shellcheck source=../data/completion/quillmere-cli.bash
source "$2"
failed=0

# Completes the words as bash would with the cursor on the last one; prints the candidates
# sorted, one a line.
complete_words() {
  COMP_WORDS=(quillmere-cli "$@")
  COMP_CWORD=$(($# ))
  COMPREPLY=()
  _quillmere_cli
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
}

# expect "candidates|separated|by|bars" word...
expect() {
  local wanted=$1 got
  shift
  got=$(complete_words "$@" | tr '\n' '|' | sed 's/|$//')
  wanted=$(tr '|' '\n' <<<"$wanted" | LC_ALL=C sort | tr '\n' '|' | sed 's/|$//')
  if [ "$got" != "$wanted" ]; then
    echo "quillmere-cli $*<TAB>: got '$got', want '$wanted'"
    failed=1
  fi
}

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
mkdir albums
touch a.mp3 B.MP3 notes.txt live.cue intro.ogg "with space.mp3"

# Commands and fixed values.
expect "info|join|split" ""
expect "--help|--version" --
expect "rename|overwrite|skip" split --if-exists ""
expect "piece" split --track p
expect "piece" split --track = p
expect "" join --track ""
expect "mono" join --channels m
expect "44100|48000" split --rate 4
expect "" split --time ""
expect "--skip" split --points 10,20 --sk
# Files: MP3 files (any case) and folders to pass through; the join also takes other formats;
# a sheet for --cue; only folders for a split's -o, files for a join's own output.
expect "B.MP3|a.mp3|albums|with space.mp3" split --count 3 ""
expect "B.MP3|a.mp3|albums|intro.ogg|with space.mp3" join -o out.mp3 ""
expect "albums|live.cue" split --cue ""
expect "B.MP3|a.mp3|albums|intro.ogg|with space.mp3" join -o out.mp3 --cue ""
expect "albums|notes.txt" split --labels ""
expect "albums" split -o ""
expect "B.MP3|a.mp3|albums|with space.mp3" join -o ""
expect "albums" join --batch --append -o ""
expect "with space.mp3" info w

# Every long option of each command.
for command in info split join; do
  offered=$(complete_words "$command" --)
  for option in $("$cli" "$command" --help | sed -nE 's/^ +(-[^ ]+).*/\1/p' | tr ',' '\n' | grep -E '^--'); do
    if ! grep -qx -- "$option" <<<"$offered"; then
      echo "quillmere-cli $command --<TAB> does not offer $option"
      failed=1
    fi
  done
done
exit $failed
