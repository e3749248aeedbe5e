# Sourced by the scripts that run the Windows build under Wine. wine_prefix DIR makes DIR a fresh
# 64-bit Wine prefix, a Windows user's profile of its own, and exports what Wine needs to use it.
# Making one takes about 15 s, less than keeping one. Arial, for whose sizes the window is laid
# out, is drawn in Liberation Sans, which has its metrics, as on Linux.

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: their installers would ask to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_prefix() {
    export WINEPREFIX=$1 WINEARCH=win64
    rm -rf "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ \
        /d 'Liberation Sans' /f >/dev/null 2>&1
    wineserver --wait
}
