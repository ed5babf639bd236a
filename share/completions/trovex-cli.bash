# SPDX-License-Identifier: MIT
# bash completion for trovex-cli: its options, the values of those that take a list, and folders
# or files for the rest.

_trovex_cli()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    local options='-n --named -t --type --no-subfolders -c --containing -x --excluding
        -s --case-sensitive -e --codepages --no-zip --no-documents --from --to --last-months
        --last-days --in-list --list-only -l --long -C --context --show-match -0 --null
        --line-buffered --report --fields --stats --skipped --ansi-codepage --oem-codepage
        --threads -q --quiet -h --help --version'

    case $prev in
    -t | --type)
        COMPREPLY=($(compgen -W '0 1 2 3 4 5 6 7' -- "$cur"))
        return
        ;;
    -e | --codepages)
        _trovex_cli_list 'windows dos koi8r unicode utf8 all'
        return
        ;;
    --fields)
        _trovex_cli_list 'name ext path date size all match'
        return
        ;;
    --in-list | --list-only | --report | --skipped)
        COMPREPLY=($(compgen -f -- "$cur"))
        compopt -o filenames 2>/dev/null
        return
        ;;
    -n | --named | -c | --containing | -x | --excluding | --from | --to | --last-months | --last-days | \
        --ansi-codepage | --oem-codepage | --threads)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        COMPREPLY=($(compgen -d -- "$cur"))
        compopt -o filenames 2>/dev/null
    fi
}

# Completes the last item of a comma-separated list, keeping the items before it.
_trovex_cli_list()
{
    local head='' item=$cur
    if [[ $cur == *,* ]]; then
        head=${cur%,*},
        item=${cur##*,}
    fi
    COMPREPLY=($(compgen -P "$head" -W "$1" -- "$item"))
    compopt -o nospace 2>/dev/null
}

complete -F _trovex_cli trovex-cli
