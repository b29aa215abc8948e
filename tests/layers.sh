#!/usr/bin/env bash
# The folders of src/ depend on each other one way only: each may include itself and the
# folders listed for it, nothing above it. Prints every include that breaks the order and
# fails when there is one.
set -euo pipefail
src=${1:-$(dirname "$0")/../src}

declare -A allowed=(
  [progress]=""
  [stream]="progress"
  [settings]="progress stream"
  [output]="progress stream settings"
  [marks]="progress stream settings output"
  [split]="progress stream settings output marks"
  [join]="progress stream settings output marks"
  [batch]="progress stream settings output marks split join"
  [cli]="progress stream settings output marks split join batch"
  [ui/kit]="progress stream settings output marks split join batch"
  [ui/widgets]="progress stream settings output marks split join batch ui/kit"
  [ui/pages]="progress stream settings output marks split join batch ui/kit ui/widgets"
  [ui/shell]="progress stream settings output marks split join batch ui/kit ui/widgets ui/pages"
  [app]="progress stream settings output marks split join batch ui/kit ui/widgets ui/pages ui/shell"
)

# The folder an include names: "ui/kit" for "ui/kit/X.h", "split" for "split/X.h".
folder_of() {
  case $1 in
    ui/*/*) echo "${1%/*}" ;;
    */*) echo "${1%%/*}" ;;
    *) echo "" ;;
  esac
}

broken=0
for file in $(cd "$src" && find . -name '*.h' -o -name '*.cpp' | sed 's#^\./##' | sort); do
  own=$(folder_of "$file")
  if [ -z "${allowed[$own]+set}" ]; then
    echo "$file: the folder $own has no place in the order"
    broken=1
    continue
  fi
  while IFS= read -r included; do
    target=$(folder_of "$included")
    [ -z "$target" ] || [ "$target" = "$own" ] && continue
    case " ${allowed[$own]} " in
      *" $target "*) ;;
      *) echo "$file includes $included: $own may not depend on $target"; broken=1 ;;
    esac
  done < <(sed -nE 's/^#include "([^"]+)".*/\1/p' "$src/$file")
done
exit $broken
