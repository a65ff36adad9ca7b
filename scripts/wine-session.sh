# Sourced by the test and demo scripts: a Wine prefix of our own with a display and a
# persistent wineserver, both stopped again when the calling script exits.
#   wine_session_start PREFIX
wine_session_start() {
    export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=-all
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

wine_session_stop() {
    wineserver -k 2>/dev/null || true
    if [ -n "${wine_session_xvfb:-}" ]; then
        kill "$wine_session_xvfb" 2>/dev/null || true
        wait "$wine_session_xvfb" 2>/dev/null || true
    fi
}
