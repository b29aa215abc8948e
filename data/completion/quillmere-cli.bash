# bash completion of quillmere-cli: its commands, each command's options, the values of the
# options that take one of a fixed set, MP3 files for the file arguments (the join also reads
# the other formats its re-encoding decodes), cue sheets for --cue and folders for -o.
# Installed as share/bash-completion/completions/quillmere-cli; needs nothing but bash.

_quillmere_cli_options_split='--help --size --count --time --range --points --silence --cue
  --cue-beside --chapters --labels --threshold --min-silence --min-length --max-length
  --trim-silence --skip -o --output-dir --tree --folder-per-file --name --name-digits --title
  --title-digits --no-tag --track --if-exists --reencode --rate --bitrate --channels --fade-in
  --fade-out --lead-in --tail --gain --first --verify --json --dry-run'
_quillmere_cli_options_join='--help -o --output --output-dir --tree --if-exists --reencode
  --rate --bitrate --channels --gain --title --artist --album --year --comment --genre --track
  --chapters --cue --batch --prepend --append --with --no-postfix --verify --json'
_quillmere_cli_options_info='--help --json'

# The options that take a value of their own, whose value is typed rather than completed.
_quillmere_cli_free_values='--size --count --time --range --points --skip --threshold
  --min-silence --min-length --max-length --name --name-digits --title --title-digits
  --fade-in --fade-out --lead-in --tail --gain --first --artist --album --year --comment --genre'

# Adds the folders, and the files whose names end in one of the given extensions (any case),
# that start with $1.
_quillmere_cli_files() {
  local cur=$1 file lower extension
  shift
  local IFS=$'\n'
  compopt -o filenames 2>/dev/null || true
  COMPREPLY+=($(compgen -d -- "$cur"))
  for file in $(compgen -f -- "$cur"); do
    [ -d "$file" ] && continue
    lower=${file,,}
    for extension in "$@"; do
      if [[ $lower == *."$extension" ]]; then
        COMPREPLY+=("$file")
        break
      fi
    done
  done
}

_quillmere_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local cword=$COMP_CWORD
  COMPREPLY=()
  # "--track=piece": bash splits the word at "=", so the option is the word before it.
  if [ "$cur" = "=" ]; then
    cur=""
  elif [ "$prev" = "=" ] && [ "$cword" -ge 2 ]; then
    prev=${COMP_WORDS[cword - 2]}
  fi

  local command="" batch="" i
  for ((i = 1; i < cword; i++)); do
    case ${COMP_WORDS[i]} in
      info | split | join) [ -z "$command" ] && command=${COMP_WORDS[i]} ;;
      --batch) batch=yes ;;
    esac
  done
  if [ -z "$command" ]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
    else
      COMPREPLY=($(compgen -W 'info split join' -- "$cur"))
    fi
    return
  fi

  # The values of the option before the word.
  case " $_quillmere_cli_free_values " in
    *" $prev "*) return ;;
  esac
  case $prev in
    --if-exists)
      COMPREPLY=($(compgen -W 'rename overwrite skip' -- "$cur"))
      return
      ;;
    --channels)
      COMPREPLY=($(compgen -W 'joint stereo mono' -- "$cur"))
      return
      ;;
    --rate)
      COMPREPLY=($(compgen -W '8000 11025 12000 16000 22050 24000 32000 44100 48000' -- "$cur"))
      return
      ;;
    --bitrate)
      COMPREPLY=($(compgen -W '8 16 24 32 40 48 56 64 80 96 112 128 144 160 192 224 256 320' -- "$cur"))
      return
      ;;
    --track)
      # The split's choice of track number; the join's is a number.
      [ "$command" = split ] && COMPREPLY=($(compgen -W 'source piece none' -- "$cur"))
      return
      ;;
    --cue)
      # The split's sheet to cut by; the join's --cue is a switch.
      if [ "$command" = split ]; then
        _quillmere_cli_files "$cur" cue
        return
      fi
      ;;
    --labels)
      _quillmere_cli_files "$cur" txt
      return
      ;;
    -o | --output-dir | --output)
      # A folder, except for the one file a join (without --batch) writes.
      if [ "$command" = join ] && [ -z "$batch" ]; then
        _quillmere_cli_files "$cur" mp3
      else
        compopt -o filenames 2>/dev/null || true
        local IFS=$'\n'
        COMPREPLY=($(compgen -d -- "$cur"))
      fi
      return
      ;;
  esac

  if [[ $cur == -* ]]; then
    local options=_quillmere_cli_options_$command
    COMPREPLY=($(compgen -W "${!options}" -- "$cur"))
  elif [ "$command" = join ]; then
    _quillmere_cli_files "$cur" mp3 mp2 mp1 ogg flac wav mod xm it s3m
  else
    _quillmere_cli_files "$cur" mp3
  fi
}

complete -F _quillmere_cli quillmere-cli
