# bash completion for zelvafont-ctl: options, commands, the font sets, and the styles of the disc
# in the drive (asked of zelvafont-ctl itself, with the prefix and disc options of the line).

_zelvafont_ctl() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local -a scope=() operands=()
    local i word
    COMPREPLY=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            --prefix|--disc)
                ((i + 1 < COMP_CWORD)) && scope+=("$word" "${COMP_WORDS[i+1]}")
                ((i++)) ;;
            --style|--wait) ((i++)) ;;
            --system) scope+=("$word") ;;
            -*) ;;
            *) operands+=("$word") ;;
        esac
    done

    case $prev in
        --prefix|--disc)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --wait) return ;;
        --style)
            local set=${operands[1]} style
            [[ -n $set ]] || return
            local quoted=${cur#[\'\"]}
            while IFS= read -r style; do
                [[ -n $style && $style == "$quoted"* ]] && COMPREPLY+=("$(printf '%q' "$style")")
            done < <("${COMP_WORDS[0]}" "${scope[@]}" styles "$set" 2>/dev/null)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--system --prefix --disc --json --wait --style --all
            --no-links --repair --dword --help --version' -- "$cur"))
        return
    fi
    case ${#operands[@]} in
        0) COMPREPLY=($(compgen -W 'sets styles fonts install remove check registry' -- "$cur")) ;;
        1) case ${operands[0]} in
               styles|fonts|install|remove)
                   COMPREPLY=($(compgen -W 'TTC TTF Gift_FontU Gift_Font' -- "$cur")) ;;
               registry) COMPREPLY=($(compgen -W 'list get set delete' -- "$cur")) ;;
           esac ;;
    esac
}
complete -F _zelvafont_ctl zelvafont-ctl
