# Sourced: Wine as the Windows scripts use it. wine_prefix DIR makes a fresh 64-bit prefix there
# (about 10 s) without the .NET and browser installers, and points WINEPREFIX at it.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64 # the 64-bit loader, not on the PATH

wine_prefix() {
    export WINEPREFIX=$1
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    WINEARCH=win64 "$WINE" wineboot -i >/dev/null 2>&1
    # Debian's Wine does not find its own fonts, and its fallback for a missing family can be a
    # TeX symbol font: windows and dialogs get Tahoma (from fonts-wine) for the families they ask,
    # and DejaVu Sans Mono for the fixed one.
    cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    printf '%s\r\n' REGEDIT4 '' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
        '"MS Sans Serif"="Tahoma"' '"System"="Tahoma"' '"Arial"="Tahoma"' \
        '"Courier New"="DejaVu Sans Mono"' >"$WINEPREFIX/fonts.reg"
    "$WINE" regedit "$WINEPREFIX/fonts.reg" >/dev/null 2>&1
    wineserver -w
}

# The Windows name of a Unix path (Wine's Z: drive is the Unix root).
windows_path() {
    local path
    path=$(realpath -m "$1")
    echo "Z:${path//\//\\}"
}
