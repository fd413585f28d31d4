# Sourced by the benchmark scripts, with $root and $build set: sets $svc_port and $partner_port,
# and gives tree_pids.
# The service addresses the build was made with (its CMake cache), else the defaults.
setting() { sed -n "s/^$1:STRING=//p" "$root/$build/CMakeCache.txt" 2>/dev/null; }
service_host=$(setting ONDAVO_SERVICE_HOST) partner_host=$(setting ONDAVO_PARTNER_HOST)
service_host=${service_host:-127.0.0.1:8470} partner_host=${partner_host:-localhost:8471}
svc_port=${service_host##*:} partner_port=${partner_host##*:}
for port in $svc_port $partner_port; do
    if (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then
        echo "port $port is in use; the program talks to the service address it was built with" >&2
        exit 2
    fi
done

# A process and all its descendants, the process first.
tree_pids() {
    local todo=("$1") p
    while [ ${#todo[@]} -gt 0 ]; do
        p=${todo[0]} todo=("${todo[@]:1}")
        echo "$p"
        for c in $(cat /proc/"$p"/task/*/children 2>/dev/null); do todo+=("$c"); done
    done
}
