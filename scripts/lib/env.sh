# shellcheck shell=bash
# Common environment for the build, test and demo scripts. Source it:
#
#   source scripts/lib/env.sh
#   orv_ensure_wine     # the Wine prefix, a persistent wineserver and a keeper process
#   orv_ensure_pulse    # our PulseAudio daemon with the null sink "orvsink"
#
# Everything the tools write lands under the repository: HOME and the XDG folders
# point into .scratch/, the Wine prefix is .wine/ (both ignored by git). The
# functions are idempotent: what already runs is re-used. They work as root
# without a session bus.

# --- where we are ---------------------------------------------------------------
ORV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export ORV_ROOT
export ORV_SCRATCH="$ORV_ROOT/.scratch"

# --- what the user had before we changed it (read once) ----------------------
# The demo uses these to play on a desktop sound server when there is one.
if [ -z "${ORV_ENV_LOADED:-}" ]; then
    export ORV_USER_HOME="${HOME:-}"
    export ORV_USER_XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-}"
    export ORV_USER_PULSE_SERVER="${PULSE_SERVER:-}"
    export ORV_USER_DISPLAY="${DISPLAY:-}"
    export ORV_ENV_LOADED=1
fi

# --- private home and XDG folders --------------------------------------------
mkdir -p "$ORV_SCRATCH"/{home,config,cache,data,log}
export HOME="$ORV_SCRATCH/home"
export XDG_CONFIG_HOME="$ORV_SCRATCH/config"
export XDG_CACHE_HOME="$ORV_SCRATCH/cache"
export XDG_DATA_HOME="$ORV_SCRATCH/data"
# A unix socket path must stay under 108 bytes; a deep checkout gets a short
# runtime folder in /tmp, named after the checkout, instead.
_orv_rt="$ORV_SCRATCH/run"
if [ ${#_orv_rt} -gt 80 ]; then
    _orv_rt="/tmp/orv-run-$(id -u)-$(printf '%s' "$ORV_ROOT" | cksum | cut -d' ' -f1)"
fi
export XDG_RUNTIME_DIR="$_orv_rt"
unset _orv_rt
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# --- which Windows tree -------------------------------------------------------------
# The 32-bit tree (build/windows, dist/) ships and runs wherever the kernel runs 32-bit
# programs; elsewhere the 64-bit tree (build/windows64) runs the same tests under 64-bit
# Wine. ORV_WINDOWS_ARCH=win32|win64 forces either; ORV_WINDOWS_REASON says why.

# True when this machine runs 32-bit x86 programs. No i386 package may be installed
# yet, so the probe is a 96-byte static ELF written here: exit(42) by int 0x80.
orv_runs_32bit() {
    local probe="$ORV_SCRATCH/probe-i386"
    if [ ! -x "$probe" ]; then
        printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'\
'\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00'\
'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe.tmp" &&
            chmod +x "$probe.tmp" && mv "$probe.tmp" "$probe"
    fi
    local rc=0
    timeout 10 "$probe" </dev/null >/dev/null 2>&1 || rc=$?
    [ "$rc" -eq 42 ]
}

if [ -z "${ORV_WINDOWS_REASON:-}" ] || [ "${ORV_WINDOWS_ARCH:-}" != "${_ORV_ARCH_CHOSEN:-}" ]; then
    case "${ORV_WINDOWS_ARCH:-}" in
        win32|win64) ORV_WINDOWS_REASON="forced by ORV_WINDOWS_ARCH=$ORV_WINDOWS_ARCH" ;;
        "")
            if orv_runs_32bit; then
                ORV_WINDOWS_ARCH=win32
                ORV_WINDOWS_REASON="this machine runs 32-bit programs"
            else
                ORV_WINDOWS_ARCH=win64
                ORV_WINDOWS_REASON="this machine cannot run 32-bit programs (a 32-bit probe fails to start)"
            fi ;;
        *) echo "ORV_WINDOWS_ARCH must be win32 or win64, not '$ORV_WINDOWS_ARCH'" >&2; return 2 ;;
    esac
    _ORV_ARCH_CHOSEN="$ORV_WINDOWS_ARCH"
    export ORV_WINDOWS_ARCH ORV_WINDOWS_REASON _ORV_ARCH_CHOSEN
fi

# --- Wine ------------------------------------------------------------------------
# Each tree has its own prefix, server, keeper and pid files. The 64-bit tree calls
# wine64 and wineserver64 directly: Debian's wrapper starts the 32-bit loader whenever
# it is installed, even where it cannot run.
if [ "$ORV_WINDOWS_ARCH" = win64 ]; then
    export WINEPREFIX="$ORV_ROOT/.wine64"
    export WINEARCH=win64
    export ORV_WINE=/usr/lib/wine/wine64
    export ORV_WINESERVER=/usr/lib/wine/wineserver64
    export ORV_WINDOWS_PRESET=windows64
else
    export WINEPREFIX="$ORV_ROOT/.wine"
    export WINEARCH=win32
    export ORV_WINE=wine
    export ORV_WINESERVER=wineserver
    export ORV_WINDOWS_PRESET=windows
fi
export ORV_WINDOWS_BUILD="$ORV_ROOT/build/$ORV_WINDOWS_PRESET"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
# No desktop integration (menu entries, file associations) from the prefix.
case ";${WINEDLLOVERRIDES:-};" in
    *";winemenubuilder.exe=d;"*) ;;
    *) export WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" ;;
esac

# The line every script prints before it uses a Windows tree.
orv_windows_note() {
    printf '\n>>> Windows tree: %s (build/%s) -- %s\n' "$ORV_WINDOWS_ARCH" "$ORV_WINDOWS_PRESET" "$ORV_WINDOWS_REASON"
}

# --- PulseAudio ------------------------------------------------------------------
export ORV_SINK=orvsink
export ORV_PULSE_SOCKET="$XDG_RUNTIME_DIR/pulse.sock"
export PULSE_SERVER="unix:$ORV_PULSE_SOCKET"
export PULSE_SINK="$ORV_SINK"
export PULSE_SOURCE="$ORV_SINK.monitor"

# --- helpers ---------------------------------------------------------------------
orv_log() { printf '[orv] %s\n' "$*" >&2; }

# True when the pid in FILE names a live (not zombie) process whose command line
# contains PATTERN.
orv_pidfile_alive() {
    local file="$1" pattern="$2" pid state
    [ -r "$file" ] || return 1
    pid="$(cat "$file" 2>/dev/null)"
    [[ "$pid" =~ ^[0-9]+$ ]] || return 1
    [ -r "/proc/$pid/stat" ] || return 1
    state="$(sed 's/^.*) \(.\).*/\1/' "/proc/$pid/stat" 2>/dev/null)"
    [ "$state" != Z ] && [ "$state" != X ] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$pattern"
}

# Runs a command under an exclusive lock so that parallel callers set up once. Every
# process started under it closes the lock's descriptor (9>&-): Wine's and PulseAudio's
# long-lived helpers would otherwise hold the lock for as long as they live.
orv_locked() {
    local lock="$ORV_SCRATCH/setup.lock"
    (
        flock -w 300 9 || { orv_log "could not take $lock"; exit 1; }
        "$@"
    ) 9>"$lock"
}

# Starts a command fully detached: own session, no terminal, stdio to a log, so
# that no caller (CTest, CI) waits for it.
orv_detach() {
    local pidfile="$1" logfile="$2"; shift 2
    setsid "$@" </dev/null >>"$logfile" 2>&1 9>&- &
    echo $! >"$pidfile"
    disown 2>/dev/null || true
}

# --- Wine: prefix, persistent server, keeper -------------------------------------
_orv_create_prefix() {
    local t0=$SECONDS reg
    orv_log "creating the Wine prefix in $WINEPREFIX (once, about 15 s)"
    rm -rf "$WINEPREFIX"
    # No download prompts for the .NET and HTML engines, which we do not use.
    WINEDLLOVERRIDES="mscoree,mshtml=d;$WINEDLLOVERRIDES" "$ORV_WINE" wineboot -i \
        >>"$ORV_SCRATCH/log/$ORV_WINDOWS_ARCH-wineboot.log" 2>&1 9>&- || { orv_log "wineboot failed, see $ORV_SCRATCH/log/$ORV_WINDOWS_ARCH-wineboot.log"; return 1; }
    reg="$ORV_SCRATCH/$ORV_WINDOWS_ARCH-prefix-settings.reg"
    cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="null"
"Audio"="pulse"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    "$ORV_WINE" regedit /S "Z:${reg//\//\\}" \
        >>"$ORV_SCRATCH/log/$ORV_WINDOWS_ARCH-wineboot.log" 2>&1 9>&- || { orv_log "regedit failed"; return 1; }
    "$ORV_WINESERVER" -w 9>&-
    touch "$WINEPREFIX/.orv-ready"
    orv_log "Wine prefix ready in $((SECONDS - t0)) s"
}

_orv_ensure_wine_locked() {
    if [ ! -f "$WINEPREFIX/.orv-ready" ]; then
        _orv_create_prefix || return 1
    fi
    local keeper_pid="$ORV_SCRATCH/$ORV_WINDOWS_ARCH-wine-keeper.pid"
    if ! orv_pidfile_alive "$keeper_pid" "$ORV_KEEPER_PATTERN"; then
        # A persistent server: later wine calls attach to it in a few ms.
        orv_detach "$ORV_SCRATCH/$ORV_WINDOWS_ARCH-wineserver.pid" "$ORV_SCRATCH/log/$ORV_WINDOWS_ARCH-wineserver.log" "$ORV_WINESERVER" -p -f
        # One long-lived Windows process keeps Wine's helper processes
        # (services, device and desktop processes) up, attached to its own log
        # rather than to the output of whatever wine call came first.
        orv_detach "$keeper_pid" "$ORV_SCRATCH/log/$ORV_WINDOWS_ARCH-wine-keeper.log" "$ORV_WINE" $ORV_KEEPER_CMD
        # Wait until the keeper has brought the helpers up.
        local i
        for i in $(seq 1 100); do
            "$ORV_WINE" cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&- && break
            sleep 0.1
        done
    fi
}
ORV_KEEPER_CMD="notepad.exe"
ORV_KEEPER_PATTERN=".exe"

orv_ensure_wine() { orv_locked _orv_ensure_wine_locked; }

# --- PulseAudio: daemon, null sink, keep-alive stream ------------------------------
_orv_pulse_up() { pactl info >/dev/null 2>&1; }

_orv_ensure_pulse_locked() {
    if ! _orv_pulse_up; then
        rm -f "$ORV_PULSE_SOCKET"
        # -n: no default script (no session bus, no hardware); --system=no lets it run
        # as root (it warns that it is not meant to; that is fine here).
        pulseaudio -n --daemonize=yes --system=no --exit-idle-time=-1 \
            --use-pid-file=yes --disallow-exit=no \
            --log-target="file:$ORV_SCRATCH/log/pulseaudio.log" \
            -L "module-native-protocol-unix socket=$ORV_PULSE_SOCKET auth-anonymous=1" \
            -L "module-null-sink sink_name=$ORV_SINK rate=44100 channels=2 format=s16le norewinds=1 sink_properties=device.description=orvsink" \
            </dev/null >>"$ORV_SCRATCH/log/pulseaudio.log" 2>&1 9>&- || { orv_log "pulseaudio failed, see $ORV_SCRATCH/log/pulseaudio.log"; return 1; }
        local i
        for i in $(seq 1 50); do _orv_pulse_up && break; sleep 0.1; done
        _orv_pulse_up || { orv_log "pulseaudio does not answer on $ORV_PULSE_SOCKET"; return 1; }
        pactl set-default-sink "$ORV_SINK" >/dev/null
        pactl set-default-source "$ORV_SINK.monitor" >/dev/null
    fi
    # An idle null sink sends no monitor data; a stream of zeros keeps it going.
    if ! orv_pidfile_alive "$ORV_SCRATCH/pulse-keepalive.pid" "pacat"; then
        orv_detach "$ORV_SCRATCH/pulse-keepalive.pid" "$ORV_SCRATCH/log/pulse-keepalive.log" \
            pacat --playback --raw --rate=44100 --channels=2 --format=s16le \
                  --client-name=orv-keepalive --stream-name=orv-keepalive -d "$ORV_SINK" /dev/zero
    fi
}

orv_ensure_pulse() { orv_locked _orv_ensure_pulse_locked; }

# --- stopping what we started -------------------------------------------------------
_orv_kill_pidfile() {
    local file="$1" pattern="$2"
    if orv_pidfile_alive "$file" "$pattern"; then kill "$(cat "$file")" 2>/dev/null || true; fi
    rm -f "$file"
}

orv_stop_services() {
    _orv_kill_pidfile "$ORV_SCRATCH/pulse-keepalive.pid" pacat
    pactl exit >/dev/null 2>&1 || true
    _orv_kill_pidfile "$ORV_SCRATCH/$ORV_WINDOWS_ARCH-wine-keeper.pid" "$ORV_KEEPER_PATTERN"
    [ -d "$WINEPREFIX" ] && "$ORV_WINESERVER" -k >/dev/null 2>&1 || true
    rm -f "$ORV_SCRATCH/$ORV_WINDOWS_ARCH-wineserver.pid"
}
