# Sourced by the scripts: a private Wine prefix inside the build tree, a private Xvfb display
# and a persistent wineserver, all started here and stopped on exit by their process ids. One
# run at a time owns a prefix: a second one on the same build is refused, rather than stopping
# the first one's servers.
#
#   wine_env_start BUILD_DIR [WIDTHxHEIGHTxDEPTH] [PREFIX_NAME]
#
# Exports WINEPREFIX, WINEDEBUG, LC_ALL/LANG (ANSI code page 932, or the one of
# WINE_ENV_LOCALE) and DISPLAY.

WINE_ENV_PIDS=()
WINE_ENV_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The 64-bit loader by its own path: /usr/bin/wine prefers the 32-bit one, which not every
# kernel can run. Where the system's 32-bit loader cannot start but the emulated one
# (x86-runtime) can, every program goes through a copy of wine64 inside that sysroot: it
# starts the 32-bit loader beside itself, and a prefix it makes has a filled syswow64.
# WINE_X86 says how x86 programs run here: native, emulated, or none.
wine_env_choose_loader() {
  export WINE64=/usr/lib/wine/wine64
  unset QEMU_LD_PREFIX WINEDLLPATH
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export WINE_X86=native
  elif "$WINE_ENV_LIB/x86-runtime" check >/dev/null 2>&1; then
    local sysroot=${X86_RUNTIME_DIR:-/var/cache/setup-x86}/sysroot
    export WINE_X86=emulated WINE64=$sysroot/usr/lib/wine/wine64
    export QEMU_LD_PREFIX=$sysroot WINEDLLPATH=$sysroot/usr/lib/i386-linux-gnu/wine
  else
    export WINE_X86=none
  fi
}
wine_env_choose_loader

wine_env_stop() {
  local pid
  # The prefix's server is this run's own while it owns the prefix.
  if [ -n "${WINEPREFIX:-}" ] && [ -n "${WINE_ENV_SERVER_PID:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  for pid in "${WINE_ENV_PIDS[@]}"; do
    kill "$pid" >/dev/null 2>&1 || true
    wait "$pid" 2>/dev/null || true
  done
  WINE_ENV_PIDS=()
  if [ -n "${WINE_ENV_OWNER:-}" ] && [ "$(cat "$WINE_ENV_OWNER" 2>/dev/null)" = "$(wine_env_me $$)" ]; then
    rm -f "$WINE_ENV_OWNER"
  fi
  unset WINE_ENV_OWNER
}

# A process as its id and start time, so that a reused id is not taken for a live run.
wine_env_me() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  stat=${stat##*) }
  echo "$1 $(echo "$stat" | cut -d' ' -f20)"
}

# Makes this run the prefix's owner (the file $WINEPREFIX.owner names it), unless a live run is.
wine_env_own() {
  local owner=$WINEPREFIX.owner taken=1 lock
  mkdir -p "$(dirname "$owner")"
  exec {lock}>"$owner.lock"
  flock "$lock"
  local held
  held=$(cat "$owner" 2>/dev/null || true)
  if [ -n "$held" ] && [ "$held" != "$(wine_env_me $$)" ] && [ "$(wine_env_me "${held%% *}")" = "$held" ]; then
    taken=0
  else
    wine_env_me $$ >"$owner"
    WINE_ENV_OWNER=$owner
  fi
  exec {lock}>&-
  [ "$taken" = 1 ] || echo "wine-env: the run ${held%% *} uses $WINEPREFIX; wait for it to end" >&2
  [ "$taken" = 1 ]
}

# An Xvfb of this run's own: the server picks a free display and names it (-displayfd), and
# the display counts only once a client has been answered on it.
wine_env_xvfb() {  # WIDTHxHEIGHTxDEPTH
  local named i
  named=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$named" >/dev/null 2>&1 &
  WINE_ENV_PIDS+=($!)
  local xvfb=$!
  for i in $(seq 1 200); do
    if [ -s "$named" ] && xdpyinfo -display ":$(head -n1 "$named")" >/dev/null 2>&1; then
      export DISPLAY=":$(head -n1 "$named")"
      rm -f "$named"
      return 0
    fi
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$named"
  echo "wine-env: Xvfb did not start" >&2
  return 1
}

# Settings a prefix gets once (again when this list changes; .settings holds its version).
WINE_ENV_SETTINGS=1
wine_env_configure() {
  [ "$(cat "$WINEPREFIX/.settings" 2>/dev/null)" = "$WINE_ENV_SETTINGS" ] && return 0
  # The setup's two faces by their Japanese names, as a Windows system with the Japanese
  # fonts has them whatever its code page. Without this Wine finds them only through the
  # fallbacks of a Japanese locale, and another locale draws the texts in another font.
  local replacements='HKCU\Software\Wine\Fonts\Replacements'
  "$WINE64" reg add "$replacements" /v 'ＭＳ 明朝' /t REG_SZ /d IPAMincho /f >/dev/null 2>&1 || true
  "$WINE64" reg add "$replacements" /v 'ＭＳ ゴシック' /t REG_SZ /d IPAGothic /f >/dev/null 2>&1 || true
  echo "$WINE_ENV_SETTINGS" >"$WINEPREFIX/.settings"
}

wine_env_start() {
  local build=$1 screen=${2:-1024x768x24} name=${3:-wineprefix}
  case $build in
    /*) ;;
    *) build=$(cd "$build" && pwd) ;;  # Wine refuses a relative prefix
  esac
  export WINEPREFIX="$build/$name"
  export WINEDEBUG=-all
  # The locale sets Wine's ANSI code page: ja_JP.UTF-8 gives 932 (the default),
  # en_US.UTF-8 gives 1252, hi_IN.UTF-8 (a language without a legacy code page) gives 65001.
  local locale=${WINE_ENV_LOCALE:-ja_JP.UTF-8}
  # Asked of a new process: a shell that looked up its locale before install-deps made the
  # locale archive keeps glibc's answer that there is none, and warns that it can't switch,
  # although Wine, started afresh, finds the locale. That warning is dropped.
  if ! locale -a 2>/dev/null | grep -qix "${locale%%.*}.utf-\?8"; then
    echo "wine-env: the locale $locale is missing (scripts/install-deps makes it)" >&2
    return 1
  fi
  export LC_ALL=$locale LANG=$locale 2>/dev/null
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEARCH=win64

  wine_env_own || return 1
  wine_env_xvfb "$screen" || return 1

  # A server left behind by a run that was cut short would keep the old display (and the
  # registry as that run left it): it is no live run's, for this run owns the prefix.
  wineserver -k >/dev/null 2>&1 || true
  # A prefix made by the other loader lacks (or has) the 32-bit system directory: start anew.
  if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$WINEPREFIX/.loader" 2>/dev/null)" != "$WINE64" ]; then
    rm -rf "$WINEPREFIX"
  fi
  local fresh=0
  [ -f "$WINEPREFIX/system.reg" ] || fresh=1
  mkdir -p "$WINEPREFIX"
  wineserver -f -p >/dev/null 2>&1 &
  WINE_ENV_SERVER_PID=$!
  WINE_ENV_PIDS+=("$WINE_ENV_SERVER_PID")
  if [ "$fresh" = 1 ]; then
    "$WINE64" wineboot -i >/dev/null 2>&1 || true
    # No window manager on Xvfb: unmanaged windows close at once instead of after 2 s.
    "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    # A crashing program ends at once with its exception code as exit code: no crash dialog,
    # and an empty debugger command (with none at all Wine attaches winedbg, which prints a
    # backtrace and ends the program with exit code 0, hiding the crash).
    "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
    local key
    for key in 'HKLM\Software' 'HKLM\Software\Wow6432Node'; do
      "$WINE64" reg add "$key\Microsoft\Windows NT\CurrentVersion\AeDebug" /v Debugger /t REG_SZ /d '' /f \
        >/dev/null 2>&1 || true
    done
    echo "$WINE64" >"$WINEPREFIX/.loader"
  fi
  wine_env_configure
  # What a test run changes in the whole prefix for one row and a killed run may have left:
  # the system DPI of the flow table's 192-DPI row.
  "$WINE64" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
  # The desktop's first start fixes its display: make it start now, on this one.
  "$WINE64" cmd /c exit >/dev/null 2>&1 || true
}
