# Sourced by the project's tests, never by the release's runner: the stand-in firewall in the
# current WINEPREFIX, where Wine's own firewall keeps no rules. Its COM server serves the
# firewall's classes (registered as regsvr32 registers it), and FirewallRules.exe takes netsh's
# place, so that an installer's "netsh advfirewall firewall add rule" reaches it too.
# FIREWALL_STANDIN and FIREWALL_RULES: the Windows paths (Z:\... or Z:/...) of
# FirewallStandIn.dll and FirewallRules.exe, as CTest sets them.

# The Unix path of a Z:\ path.
unix_of_windows_path() {
    local path=${1#[Zz]:}
    printf '%s' "${path//\\//}"
}

register_firewall_standin() {
    local served expected=${FIREWALL_STANDIN//\//\\}
    wine regsvr32 /s "$FIREWALL_STANDIN" </dev/null >/dev/null 2>&1 || {
        echo "regsvr32 could not register $FIREWALL_STANDIN" >&2
        return 1
    }
    cp "$(unix_of_windows_path "$FIREWALL_RULES")" "$WINEPREFIX/drive_c/windows/system32/netsh.exe" || return 1
    # Wine runs its own netsh unless told to take the file in its place.
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /d native /f </dev/null >/dev/null 2>&1 || return 1
    served=$(wine 'C:\windows\system32\netsh.exe' server </dev/null 2>/dev/null | tr -d '\r')
    if [ "${served,,}" != "${expected,,}" ]; then
        echo "the firewall's policy is served by '$served', not the stand-in $FIREWALL_STANDIN" >&2
        return 1
    fi
}

# The runner's start_prefix, then the stand-in in the prefix it started.
with_firewall_standin() {
    eval "runner_$(declare -f start_prefix)"
    start_prefix() {
        runner_start_prefix "$@" || return 1
        register_firewall_standin
    }
}
