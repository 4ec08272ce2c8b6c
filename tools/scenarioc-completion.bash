# bash completion for scenarioc: the subcommands, their options, and file
# names by the kind of file each subcommand takes (.txt sources to compile,
# watch, plot or serve, .sim and .dat files to dump, plot or serve). Installed as
# share/bash-completion/completions/scenarioc.

# Adds to COMPREPLY the names that start with $1 and end in one of the
# endings that follow, and the directories on the way to them.
_scenarioc_files() {
  local cur=$1 name ending
  shift
  local IFS=$'\n'
  compopt -o filenames 2>/dev/null
  for name in $(compgen -f -- "$cur"); do
    if [[ -d $name ]]; then
      COMPREPLY+=("$name")
      continue
    fi
    for ending in "$@"; do
      if [[ $name == *"$ending" ]]; then
        COMPREPLY+=("$name")
        break
      fi
    done
  done
}

# The warning names, from the warning table of the program being completed
# (the first word, a leading ~ expanded), else of the one on the PATH.
_scenarioc_warning_names() {
  local program=${COMP_WORDS[0]}
  [[ $program == "~"/* ]] && program=$HOME/${program#"~"/}
  command -v -- "$program" >/dev/null 2>&1 || program=scenarioc
  "$program" warnings 2>/dev/null | awk '/^[a-z]/ {print $1}'
}

_scenarioc_directories() {
  local IFS=$'\n'
  compopt -o filenames 2>/dev/null
  COMPREPLY+=($(compgen -d -- "$1"))
}

_scenarioc() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  local command="" i
  COMPREPLY=()
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      compile | check | sources | warnings | dump | plot | lsp | serve | watch | decompile | diff | fmt)
        command=${COMP_WORDS[i]}
        break
        ;;
    esac
  done
  if [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "compile check sources warnings dump plot lsp serve watch decompile diff fmt -h --help --version" -- "$cur"))
    return
  fi

  case $command:$prev in
    plot:-o | plot:--output)
      _scenarioc_files "$cur" .svg .html
      return
      ;;
    *:-o | *:--output)
      _scenarioc_directories "$cur"
      return
      ;;
    *:--line-name | *:--train-number)
      return
      ;;
    dump:--kind)
      COMPREPLY=($(compgen -W "cells slots geometry" -- "$cur"))
      return
      ;;
    *:--format)
      COMPREPLY=($(compgen -W "text json sarif" -- "$cur"))
      return
      ;;
    *:--color)
      COMPREPLY=($(compgen -W "auto always never" -- "$cur"))
      return
      ;;
    *:--max-errors | serve:--port)
      return
      ;;
  esac

  # -Werror, -WNAME and -Wno-NAME as one word, or error, NAME and no-NAME
  # after a lone -W; the names from the program itself.
  if [[ ($command == compile || $command == check || $command == watch) &&
    ($prev == -W || $cur == -W*) ]]; then
    local prefix=-W name switches
    [[ $prev == -W ]] && prefix=""
    switches="${prefix}error"
    for name in $(_scenarioc_warning_names); do
      switches+=" $prefix$name ${prefix}no-$name"
    done
    COMPREPLY=($(compgen -W "$switches" -- "$cur"))
    return
  fi

  local options
  case $command in
    compile) options="-o --output --line-name --train-number --no-geometry --json --format --color --max-errors -W --strict -h --help" ;;
    check) options="--json --format --color --max-errors -W --strict -h --help" ;;
    warnings) options="--json -h --help" ;;
    sources) options="-o --output --force -h --help" ;;
    dump) options="--json --all --kind -h --help" ;;
    plot) options="-o --output --html -h --help" ;;
    lsp) options="--stdio -h --help" ;;
    serve) options="--port --open -h --help" ;;
    watch) options="-o --output --line-name --train-number --no-geometry --json --format --color --max-errors -W --strict -h --help" ;;
    decompile) options="-o --output --force --strict -h --help" ;;
    diff) options="-h --help" ;;
    fmt) options="--check --kind -h --help" ;;
    fmt:--kind)
      COMPREPLY=($(compgen -W "line train" -- "$cur"))
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  case $command in
    compile | check | watch) _scenarioc_files "$cur" .txt ;;
    dump) _scenarioc_files "$cur" .sim .dat ;;
    plot | serve) _scenarioc_files "$cur" .sim .dat .txt ;;
    decompile) _scenarioc_files "$cur" .sim .dat ;;
    diff) _scenarioc_files "$cur" .sim .dat .txt ;;
    fmt) _scenarioc_files "$cur" .txt ;;
  esac
}

complete -F _scenarioc scenarioc
