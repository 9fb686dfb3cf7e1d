# Shell functions shared by the benchmark scripts (sourced, not run).

# Installs with apt-get what is missing of the given commands; "COMMAND:PACKAGE" where the package
# has another name.
install_missing() {
    local need=() entry
    for entry in "$@"; do
        command -v "${entry%%:*}" >/dev/null || need+=("${entry#*:}")
    done
    "$(dirname "${BASH_SOURCE[0]}")/install-packages.sh" "${need[@]}"
}

# Mapped, placed-within-5 and MAPQ >= 20 precision of a SAM file's primary records, against the
# truth in the read names (sim:pair:chromosome:pos1:strand:pos2:strand).
evaluate() {
    awk -F'\t' '!/^@/ {
        flag = $2; if (int(flag / 256) % 2 == 1 || int(flag / 2048) % 2 == 1) next
        total++
        if (int(flag / 4) % 2 == 1) next
        mapped++
        split($1, truth, ":"); expected = (int(flag / 64) % 2 == 1) ? truth[4] : truth[6]
        clip = 0; if (match($6, /^[0-9]+S/)) clip = substr($6, 1, RLENGTH - 1)
        leftmost = $4 - clip
        correct = (leftmost - expected <= 5 && expected - leftmost <= 5)
        placed += correct
        if ($5 >= 20) { confident++; confidentCorrect += correct }
    }
    END { printf "%.4f %.4f %.4f\n", mapped / total, placed / total, confident ? confidentCorrect / confident : 0 }' "$1"
}
