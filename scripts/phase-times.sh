# Sourced by scripts/test: the wall time of each phase. `phase NAME` ends the
# phase before it (printing how long it took) and starts the next under a
# "== NAME" line; when the script ends, however it ends, a summary lists
# every phase and the total.
phase_names=()
phase_seconds=()
phase_started=$SECONDS
script_started=$SECONDS

minutes_and_seconds() {
    printf '%dm%02ds' $(($1 / 60)) $(($1 % 60))
}

end_phase() {
    [ ${#phase_names[@]} -gt ${#phase_seconds[@]} ] || return 0
    phase_seconds+=($((SECONDS - phase_started)))
    echo "-- ${phase_names[-1]} took $(minutes_and_seconds "${phase_seconds[-1]}")"
}

phase() {
    end_phase
    phase_names+=("$1")
    phase_started=$SECONDS
    echo "== $1"
}

print_phase_summary() {
    local status=$? i
    end_phase
    echo "== Phase times$([ "$status" -eq 0 ] || echo " (stopped by a failure in the last one)")"
    for i in "${!phase_names[@]}"; do
        printf '%9s  %s\n' "$(minutes_and_seconds "${phase_seconds[i]}")" "${phase_names[i]}"
    done
    printf '%9s  total\n' "$(minutes_and_seconds $((SECONDS - script_started)))"
}
trap print_phase_summary EXIT
