# Sourced by the test and demo scripts: a Wine prefix of our own with a display and a
# persistent wineserver, both stopped again when the calling script exits.
#   wine_session_start PREFIX [x86|x64]
# Only the server of the prefix a session started is ever stopped: a WINEPREFIX the caller had
# exported is the developer's own Wine, running programs of their own.
# x86 (the default) runs 32-bit Wine in a win32 prefix; x64 runs 64-bit Wine in a win64
# prefix. Debian's `wine` (and the wineboot and winepath that call it) starts 32-bit Wine
# whenever it is installed, so an x64 session puts 64-bit Wine first on PATH under that name.
wine_session_start() {
    # A session of another prefix (or architecture) before it ends here.
    wine_session_stop_server
    export WINEPREFIX=$1 WINEDEBUG=-all
    wine_session_prefix=$1
    wine_session_env "${2:-x86}" || return
    # No Mono or Gecko: nothing here needs them, and their installers would ask.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    trap wine_session_stop EXIT

    if [ -z "${DISPLAY:-}" ]; then
        local n
        for n in $(seq 90 140); do
            [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
            setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
            wine_session_xvfb=$!
            export DISPLAY=":$n"
            for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
            break
        done
    fi

    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i </dev/null >/dev/null 2>&1
    fi
    # Wine's own fonts (Tahoma among them) are found only in the prefix's Fonts folder.
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # Ours must be the one server of this prefix, persistent and detached, so that no
    # test runner inherits (and waits on) its pipes: end any other first.
    wineserver -k 2>/dev/null || true
    setsid wineserver -p </dev/null >/dev/null 2>&1
    # Wine's own services start with the first program of a session and keep its standard
    # handles: let that first program be one with no pipes to hand on.
    setsid wineboot </dev/null >/dev/null 2>&1
}

# The Wine of an architecture for the programs and prefixes that follow, within a session:
# WINEARCH for a prefix made from now on, and PATH.
wine_session_env() {  # x86|x64
    # Its Wine's programs go beside the prefix: without one, nowhere of ours.
    case ${WINEPREFIX:-} in
    /*) ;;
    *) echo "wine_session_env: WINEPREFIX is '${WINEPREFIX:-}', not the absolute path of a prefix of ours (wine_session_start PREFIX sets it)" >&2
       return 1 ;;
    esac
    wine_session_path=${wine_session_path:-$PATH}
    export PATH=$wine_session_path
    if [ "$1" = x64 ]; then
        export WINEARCH=win64
        local wine64_bin name
        wine64_bin=$(dirname "$WINEPREFIX")/wine64-bin
        mkdir -p "$wine64_bin"
        # Scripts, not links: Wine finds its loader from the name it was started by.
        for name in wine wine-stable; do
            printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$wine64_bin/$name"
            chmod +x "$wine64_bin/$name"
        done
        export PATH="$wine64_bin:$PATH"
    else
        export WINEARCH=win32
    fi
}

wine_session_stop_server() {
    if [ -n "${wine_session_prefix:-}" ]; then
        WINEPREFIX=$wine_session_prefix wineserver -k 2>/dev/null || true
    fi
}

wine_session_stop() {
    wine_session_stop_server
    if [ -n "${wine_session_xvfb:-}" ]; then
        kill "$wine_session_xvfb" 2>/dev/null || true
        wait "$wine_session_xvfb" 2>/dev/null || true
    fi
}
