# Sourced by the Windows scripts: a quiet Wine with a Korean code page and its own prefix.
#   source scripts/wine-env.sh; wine_prefix_ready
# PLOVIK_WINEPREFIX overrides where the prefix lives (default: ~/.wine-plovik).

export WINEPREFIX="${PLOVIK_WINEPREFIX:-$HOME/.wine-plovik}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its ANSI code page from LC_CTYPE: Korean gives 949. Messages stay English.
export LANG=C.UTF-8
export LC_CTYPE=ko_KR.UTF-8
unset LC_ALL

# Creates the prefix when it is missing and (re)writes the values the tests rely on:
# Managed=N (no 2 s wait per hidden window without a window manager), no crash dialog
# (a crash fails the test instead of hanging it), and the dialog fonts mapped to the
# Nanum fonts (fixed-pitch NanumGothicCoding for the report).
wine_prefix_ready() {
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        echo "Creating the Wine prefix $WINEPREFIX ..."
        wineboot -i </dev/null >/dev/null 2>&1
    fi
    local key='HKCU\Software\Wine'
    {
        wine reg add "$key\\X11 Driver" /v Managed /t REG_SZ /d N /f
        wine reg add "$key\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f
        wine reg add "$key\\Fonts\\Replacements" /v '굴림체' /t REG_SZ /d NanumGothicCoding /f
        wine reg add "$key\\Fonts\\Replacements" /v '굴림' /t REG_SZ /d NanumGothic /f
    } </dev/null >/dev/null 2>&1
    # The prefix is written when the server exits.
    wineserver -w
}

# A persistent server plus one program run, with no pipe of ours inherited by Wine's
# background processes (they would hold it open until `wineserver -k`).
wine_server_start() {
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
}

wine_server_stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
}
