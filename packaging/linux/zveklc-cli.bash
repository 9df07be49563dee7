# Bash completion of zveklc-cli: its commands, the options each command
# takes, the values of -e, and the files a command reads (by their usual
# extensions; with none of those here, every file name, as readline would).

_zveklc_cli_files() {
  local exts=$1 f names
  compopt -o filenames 2>/dev/null || true  # outside a completion, as in a test
  mapfile -t names < <(compgen -f -- "$cur")
  for f in "${names[@]}"; do
    if [[ -d $f ]]; then
      COMPREPLY+=("$f")
    elif [[ -z $exts || ${f,,} =~ \.($exts)$ ]]; then
      COMPREPLY+=("$f")
    fi
  done
}

_zveklc_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local commands="text untext winamp lrc unlrc tag untag auto html search browser"
  COMPREPLY=()
  # Bash splits "--encoding=utf8" at the "=".
  if [[ $cur == = ]]; then
    cur=
  elif [[ $prev == = ]] && ((COMP_CWORD > 2)); then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  if ((COMP_CWORD == 1)); then
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return
  fi

  local command=${COMP_WORDS[1]} options="-q --quiet -h --help" writes="-o --output -e --encoding -f --force"
  case $command in
  text | untext | winamp | lrc | html) options+=" $writes" ;;
  unlrc) options+=" $writes --ms" ;;
  tag) options+=" $writes -r --reference" ;;
  untag | auto) options+=" $writes -r --reference --partial" ;;
  search) options+=" --artist" ;;
  browser) ;;
  *) return ;;
  esac

  case $prev in
  -e | --encoding)
    mapfile -t COMPREPLY < <(compgen -W "sjis utf8" -- "$cur")
    return
    ;;
  -r | --reference)
    _zveklc_cli_files 'htm|html'
    return
    ;;
  -o | --output)
    _zveklc_cli_files ''
    return
    ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    return
  fi
  case $command in
  text | winamp) _zveklc_cli_files 'txt' ;;
  untext | unlrc | tag) _zveklc_cli_files 'lyr' ;;
  lrc) _zveklc_cli_files 'lrc' ;;
  untag) _zveklc_cli_files 'taglyr' ;;
  html) _zveklc_cli_files 'htm|html' ;;
  search) _zveklc_cli_files 'lyr|taglyr' ;;
  auto) _zveklc_cli_files '' ;;
  esac
}

complete -o default -F _zveklc_cli zveklc-cli
