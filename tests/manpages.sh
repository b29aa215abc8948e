#!/usr/bin/env bash
# The manual pages keep up with the programs: every long option that a command's --help lists
# is described in that command's section of quillmere-cli(1) (--help and --version under
# GENERAL OPTIONS), every option of the desktop program's --help is in quillmere(1), both pages
# render without a warning from groff, and their title line names the version that --version
# prints.
#   manpages.sh QUILLMERE-CLI MAN-FOLDER [QUILLMERE]
set -euo pipefail
cli=$1
man_dir=$2
desktop=${3:-}
failed=0

# The page as plain text, ASCII hyphens and no hyphenation, so that options can be matched.
render() {
  LC_ALL=C.UTF-8 groff -man -rcR=1 -Tascii -P-cbou "$1" 2>/dev/null
}

# The text of one section: from its heading to the next heading (a line without indent).
section() {
  awk -v name="$2" '/^[A-Z]/ { inside = ($0 == name) ; next } inside' <<<"$1"
}

# The long options of a --help text: the names before the description on each option line
# ("  -o,--output,--output-dir TEXT" gives --output and --output-dir).
long_options() {
  sed -nE 's/^ +(-[^ ]+).*/\1/p' | tr ',' '\n' | grep -E '^--[a-z]' | sort -u
}

for page in "$man_dir"/quillmere.1 "$man_dir"/quillmere-cli.1; do
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$page: groff warns:"
    echo "$warnings"
    failed=1
  fi
done

page_text=$(render "$man_dir/quillmere-cli.1")
# Each command of --help and the section of the page that describes its options.
declare -A sections=([main]="GENERAL OPTIONS" [info]="INFO" [split]="SPLIT" [join]="JOIN")
for key in main info split join; do
  command=${key#main}
  text=$(section "$page_text" "${sections[$key]}")
  [ -n "$text" ] || { echo "quillmere-cli(1) has no section ${sections[$key]}"; failed=1; continue; }
  # shellcheck disable=SC2086  # no command word for the program's own options
  for option in $("$cli" $command --help | long_options); do
    # Every command's --help is described once, under GENERAL OPTIONS.
    [ -n "$command" ] && [ "$option" = "--help" ] && continue
    if ! grep -qE -- "(^|[^a-z-])${option}([^a-z-]|$)" <<<"$text"; then
      echo "quillmere-cli(1): ${option} of '${command:-quillmere-cli}' is not in its section ${sections[$key]}"
      failed=1
    fi
  done
done

# The desktop program's options (Qt's parser lists them as "  -h, --help  Displays ...").
if [ -n "$desktop" ]; then
  desktop_text=$(render "$man_dir/quillmere.1")
  for option in $(QT_QPA_PLATFORM=offscreen "$desktop" --help 2>/dev/null | sed -nE 's/^ +(-[^ ]+(, -[^ ]+)*).*/\1/p' |
                    tr ', ' '\n\n' | grep -E '^-'); do
    grep -qE -- "(^|[^a-z-])${option}([^a-z-]|$)" <<<"$(section "$desktop_text" OPTIONS)" ||
      { echo "quillmere(1): ${option} is not in its section OPTIONS"; failed=1; }
  done
fi

version=$("$cli" --version | sed -n 's/^quillmere-cli //p')
for page in "$man_dir"/quillmere.1 "$man_dir"/quillmere-cli.1; do
  if ! grep -q "^\.TH .* \"Quillmere $version\" " "$page"; then
    echo "$page: the .TH line does not name Quillmere $version"
    failed=1
  fi
done
exit $failed
