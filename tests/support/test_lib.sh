# Shared by the shell tests, sourced by each: a scratch folder removed at exit, and the check of
# a saved Config.dat's lines.

# scratch_dir: a fresh folder in `work`. At exit the script's own `cleanup`, when it has one,
# runs first (the programs it started may still use the folder), then the folder goes.
scratch_dir() {
    work=$(mktemp -d)
    trap scratch_cleanup EXIT
}
scratch_cleanup() {
    if declare -F cleanup >/dev/null; then cleanup || true; fi
    rm -rf "$work"
}

# expect_lines SAVED LINE...: the saved section SAVED (its lines without CR) holds each LINE and
# the job's 23 keys; the script's `fail` is called with what is missing.
expect_lines() {
    local saved=$1 line
    shift
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$saved" || fail "expected '$line' in: $(tr '\n' ' ' <<<"$saved")"
    done
    [ "$(grep -c = <<<"$saved")" -eq 23 ] || fail "not 23 keys: $(tr '\n' ' ' <<<"$saved")"
}
