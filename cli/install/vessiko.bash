# bash completion for vessiko                                  -*- shell-script -*-

# The words up to the cursor as the user typed them: bash splits "--drive=C=/x" at each "="
# (COMP_WORDBREAKS), and the pieces not parted by blanks are joined again here.
# Sets _vessiko_cur, _vessiko_prev and _vessiko_piece (bash's own last piece).
_vessiko_words() {
    local line=${COMP_LINE:0:COMP_POINT} word trimmed i
    local -a words=()
    for ((i = 0; i <= COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        trimmed=${line#"${line%%[![:space:]]*}"}
        # The word under the cursor ends at the cursor.
        ((${#word} > ${#trimmed})) && word=${trimmed}
        if ((i > 0 && ${#trimmed} == ${#line} && ${#words[@]} > 0)); then
            words[${#words[@]} - 1]+=$word
        else
            words+=("$word")
        fi
        line=${trimmed:${#word}}
    done
    _vessiko_cur=${words[-1]}
    _vessiko_prev=
    ((${#words[@]} > 1)) && _vessiko_prev=${words[-2]}
    _vessiko_piece=${COMP_WORDS[COMP_CWORD]:0:${#word}}
    # Right after a "=", bash's piece is the "=" itself, yet readline replaces what follows it.
    [[ -z ${_vessiko_piece//[=:]/} ]] && _vessiko_piece=
}

# COMPREPLY from candidates for the whole word: each less what precedes bash's last piece.
_vessiko_reply() {
    local lead=${_vessiko_cur:0:${#_vessiko_cur}-${#_vessiko_piece}} candidate
    COMPREPLY=()
    for candidate; do
        [[ $candidate == "$_vessiko_cur"* ]] && COMPREPLY+=("${candidate:${#lead}}")
    done
}

# Candidates for the value VALUE of option OPTION, each prefixed with PREFIX.
_vessiko_values() {
    local option=$1 value=$2 prefix=$3 head tail
    local -a found=()
    case $option in
        --drive | --ntfs)
            if [[ $value == [A-Za-z]=* ]]; then
                compopt -o filenames 2>/dev/null
                if [[ $option == --ntfs ]]; then
                    mapfile -t found < <(compgen -f -- "${value:2}")
                else
                    mapfile -t found < <(compgen -d -- "${value:2}")
                fi
                found=("${found[@]/#/${prefix}${value:0:2}}")
            else
                compopt -o nospace 2>/dev/null
                if [[ $value == [A-Za-z] ]]; then
                    found=("$value")
                else
                    mapfile -t found < <(compgen -W "$(echo {A..Z})" -- "$value")
                fi
                found=("${found[@]/#/${prefix}}")
                found=("${found[@]/%/=}")
            fi
            ;;
        --db-dir | --scope | --scope-top)
            compopt -o filenames 2>/dev/null
            mapfile -t found < <(compgen -d -- "$value")
            found=("${found[@]/#/${prefix}}")
            ;;
        --size | --date | --attr)
            # A comma-separated value: the parts given so far, then the part being typed.
            head=
            [[ $value == *,* ]] && head=${value%,*},
            tail=${value##*,}
            local -a parts=()
            IFS=, read -r -a parts <<<"$head"
            local words= more=,
            case $option:${#parts[@]} in
                --size:0) words="eq gt lt ge le" ;;
                --size:2) words="B KB MB GB" more= ;;
                --date:0) words="created modified accessed" ;;
                --date:1) words="after before between" ;;
                --attr:*)
                    words=" normal hidden system "
                    for head in "${parts[@]}"; do words=${words/ $head / }; done
                    head=${value%"$tail"}
                    more=
                    ;;
            esac
            [[ -n $words ]] || return
            compopt -o nospace 2>/dev/null
            mapfile -t found < <(compgen -W "$words" -- "$tail")
            found=("${found[@]/#/${prefix}${head}}")
            found=("${found[@]/%/${more}}")
            ;;
    esac
    _vessiko_reply "${found[@]}"
}

_vessiko() {
    local _vessiko_cur _vessiko_prev _vessiko_piece
    _vessiko_words
    local cur=$_vessiko_cur prev=$_vessiko_prev
    local options="--drive --ntfs --db-dir --serve --case --no-folders --no-files --scope --scope-top
        --size --date --attr --paths -0 --null --limit --count --save-interval --help --version"

    COMPREPLY=()
    case $prev in
        --drive | --ntfs | --db-dir | --scope | --scope-top | --size | --date | --attr)
            _vessiko_values "$prev" "$cur" ""
            return
            ;;
        --limit | --save-interval)
            return
            ;;
    esac
    case $cur in
        --*=*)
            _vessiko_values "${cur%%=*}" "${cur#*=}" "${cur%%=*}="
            return
            ;;
        -*)
            local -a found
            mapfile -t found < <(compgen -W "$options" -- "$cur")
            _vessiko_reply "${found[@]}"
            return
            ;;
    esac
    # NAME and EXTENSIONS are free text.
}

complete -F _vessiko vessiko

# ex: filetype=sh
