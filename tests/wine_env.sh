# Shell functions shared by the scripts that run our programs under Wine.
# Set wine_env_dir to its folder, then source it; it puts our Wine launchers
# (winebin/) first on PATH and defines functions.

PATH="$(cd "$wine_env_dir" && pwd)/winebin:$PATH"
export PATH

# Starts a private Xvfb and exports DISPLAY; sets xvfb_pid for the caller to
# kill. With "always", it starts one even when DISPLAY is already set.
start_virtual_display() {
    xvfb_pid=""
    [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "always" ] && return 0
    _display_file=$(mktemp)
    Xvfb -displayfd 9 -nolisten tcp -screen 0 1280x1024x24 9>"$_display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$_display_file" ] && break
        sleep 0.1
    done
    DISPLAY=":$(head -n 1 "$_display_file")"
    export DISPLAY
    rm -f "$_display_file"
}

# Copies a template prefix. System folders are hard-linked (nothing writes
# there and they hold most of its 1.3 GB); the rest is copied.
copy_wine_prefix() {
    rm -rf "$2"
    mkdir -p "$2"
    tar -C "$1" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
        --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$2" -xf -
    for _dir in system32 syswow64 winsxs; do
        if [ -d "$1/drive_c/windows/$_dir" ]; then
            cp -al "$1/drive_c/windows/$_dir" "$2/drive_c/windows/$_dir"
        fi
    done
}

# Quiet Wine, without its menu builder or the .NET and HTML engine prompts.
export_wine_settings() {
    export WINEPREFIX="$1"
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
}

# For the benchmarks: says, where this host runs 32-bit programs only under
# user-mode emulation, that a 32-bit build's figures are not comparable.
note_if_emulated() {
    [ "$1" = i686 ] || return 0
    for _entry in /proc/sys/fs/binfmt_misc/*; do
        if grep -qsx enabled "$_entry" && grep -qs '^magic 7f454c46010101000000000000000000020003' "$_entry"; then
            echo "note: this host runs 32-bit programs under user-mode emulation ($(sed -n 's/^interpreter //p' "$_entry")):" \
                 "the i686 figures are not comparable; compare the x86_64 ones"
            return 0
        fi
    done
}
