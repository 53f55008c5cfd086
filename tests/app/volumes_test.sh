#!/usr/bin/env bash
# Saves twice from a program folder kept on each kind of volume users keep the tool on: FAT32,
# exFAT, NTFS and a Samba share, each a real file system mounted through FUSE. The first save
# makes Config.dat; the second starts from it, must show the saved job and replaces the file.
# The Linux program runs under a private Xvfb, the Windows one under Wine in a prefix of this
# test's own (Wine cannot rename a file on the Samba mount, so only the Linux program goes there).
# Run as root: it mounts, takes a loop device and starts smbd on 127.0.0.1.
# Usage: volumes_test.sh LINUX_PROGRAM WINDOWS_BUILD_DIR
# Exit status 77 (a skip) when a volume cannot be made here and nothing failed.
set -euo pipefail
linux_program=$(realpath "$1")
windows_build=$(realpath "$2")
source "$(dirname "$0")/../../scripts/lib/wine.sh"
source "$(dirname "$0")/../support/test_lib.sh"
title="Quentra Module Upgrade"

# kind of volume, then the programs saved from a folder on it
rows=("fat32 linux windows" "exfat linux windows" "ntfs linux windows" "samba linux")
# What each kind needs beyond the programs.
declare -A tools=([fat32]="mkfs.vfat fusefat" [exfat]="losetup mkfs.exfat mount.exfat-fuse"
    [ntfs]="mkntfs ntfs-3g" [samba]="smbd smbnetfs")

[ "$(id -u)" -eq 0 ] || { echo "SKIP: mounting volumes needs root" >&2; exit 77; }
[ -c /dev/fuse ] || { echo "SKIP: no /dev/fuse" >&2; exit 77; }
for tool in Xvfb xdotool wine fusermount; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup.sh has it)" >&2; exit 1; }
done
wine_env "$windows_build/wineprefix-volumes"
work=$(mktemp -d)
chmod 711 "$work" # smbd serves the share as the guest account, which must reach it
mounts=() loops=() smbd_pid="" pid="" XVFB_PID=""
# running PID: the process is there and no zombie (an ended daemon may never be reaped here).
running() { [ -n "$(sed -n 's/^[0-9]* (.*) \([^Z]\) .*/\1/p' "/proc/$1/stat" 2>/dev/null)" ]; }
cleanup() {
    # Each step runs whatever the one before it found: the volumes must go after a failure too.
    cd /
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    wine_stop || true
    stop_xvfb "$XVFB_PID" || true
    local m left=0
    for m in "${mounts[@]}"; do
        mountpoint -q "$m" || continue
        fusermount -u "$m" 2>/dev/null || umount -l "$m" ||
            { left=1; echo "still mounted: $m" >&2; }
    done
    for m in "${loops[@]}"; do losetup -d "$m" || true; done
    if [ -n "$smbd_pid" ] && kill "$smbd_pid" 2>/dev/null; then
        for _ in $(seq 1 600); do running "$smbd_pid" || break; sleep 0.1; done
    fi
    [ $left -eq 1 ] || rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/programs"
# Copies taken now: the builds may be remade while this runs.
cp "$linux_program" "$work/programs/QuentraModuleUpgrade"
cp "$windows_build/src/app/QuentraModuleUpgrade.exe" \
    "$windows_build/tests/windows/profile_probe.exe" "$work/programs/"
wine_prefix_init
start_xvfb "$work"
export QT_QPA_PLATFORM=xcb

# make_KIND DIR: makes that volume from files in DIR and mounts it on DIR/mnt; `vol`, the folder
# of the programs' folders, is DIR/mnt unless it says otherwise.
make_fat32() {
    truncate -s 64M "$1/image" && mkfs.vfat -F 32 "$1/image" &&
        fusefat -o rw+ "$1/image" "$1/mnt"
}
make_exfat() {
    local loop
    truncate -s 64M "$1/image" && loop=$(losetup -f --show "$1/image") || return 1
    loops+=("$loop")
    mkfs.exfat "$loop" && mount.exfat-fuse "$loop" "$1/mnt"
}
make_ntfs() {
    truncate -s 64M "$1/image" && mkntfs -F -Q "$1/image" && ntfs-3g "$1/image" "$1/mnt"
}
# A guest share of DIR/share on 127.0.0.1 alone, everything of smbd's under DIR, mounted by
# smbnetfs with a HOME of its own (its config there, and no browsing of the network).
make_samba() {
    local d=$1 sub
    for sub in share run lock state cache private home/.smb; do mkdir -p "$d/$sub"; done
    chmod 777 "$d/share"
    cat >"$d/smb.conf" <<EOF
[global]
server role = standalone server
interfaces = 127.0.0.1
bind interfaces only = yes
disable netbios = yes
map to guest = Bad User
pid directory = $d/run
lock directory = $d/lock
state directory = $d/state
cache directory = $d/cache
private dir = $d/private
ncalrpc dir = $d/run/ncalrpc
log file = $d/smbd.log
load printers = no
disable spoolss = yes
[share]
path = $d/share
guest ok = yes
guest only = yes
read only = no
EOF
    # smbnetfs knows no other port than 445: a server already there would be the one tested.
    if (: <>/dev/tcp/127.0.0.1/445) 2>/dev/null; then
        echo "another server listens on 127.0.0.1:445"
        return 1
    fi
    : >"$d/share/served-by-this-test"
    smbd -s "$d/smb.conf" -D || return 1
    for _ in $(seq 1 600); do [ -s "$d/run/smbd.pid" ] && break; sleep 0.1; done
    smbd_pid=$(cat "$d/run/smbd.pid") || return 1
    printf '%s\n' "host localhost visible=true" 'smb_query_browsers "false"' \
        'use_libsecret "false"' >"$d/home/.smb/smbnetfs.conf"
    chmod 600 "$d/home/.smb/smbnetfs.conf"
    HOME=$d/home smbnetfs "$d/mnt" || return 1
    vol=$d/mnt/localhost/share
    # smbd may not listen yet; smbnetfs answers again after its negative cache has expired.
    for _ in $(seq 1 120); do [ -e "$vol/served-by-this-test" ] && return 0; sleep 0.5; done
    tail -n 5 "$d/smbd.log"
    return 1
}

failed=() skipped=()
fail() {
    echo "FAILED [$case_name]: $*" >&2
    failed+=("$case_name")
}
click() { xdotool mousemove --window "$wid" $(($1 / 15 + 4)) $(($2 / 15 + 4)) click 1; }
keys() { xdotool key --delay 60 "$@"; }

# start PROGRAM: starts it in its folder on the volume; sets pid and wid.
start() {
    cd "$dir"
    if [ "$1" = windows ]; then
        wine_start_window "$work/$1.log" "$title" ./QuentraModuleUpgrade.exe || return 1
        pid=$WINE_PID wid=$WINE_WID
    else
        ./QuentraModuleUpgrade >"$work/$1.log" 2>&1 &
        pid=$!
        wid=$(timeout 120 xdotool search --sync --onlyvisible --name "^$title\$" | head -n 1) ||
            true
        [ -n "$wid" ] || { cat "$work/$1.log" >&2; return 1; }
    fi
    xdotool windowfocus --sync "$wid"
}

# finish WHICH: Alt+O for that save, then the program must end, with status 0. A warning in its
# place is a failure (its text is not read: neither Qt's nor Wine's message box copies it here
# on Ctrl+C).
finish() {
    keys alt+o
    local warning="" status=0
    for _ in $(seq 1 600); do
        kill -0 "$pid" 2>/dev/null || break
        warning=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | grep -vx "$wid") &&
            break
        sleep 0.1
    done
    if [ -n "$warning" ] || kill -0 "$pid" 2>/dev/null; then
        if [ -n "$warning" ]; then
            fail "$1: a warning window instead of the end after Alt+O"
        else
            fail "$1: still running a minute after Alt+O"
        fi
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        pid=""
        wine_stop
        return 1
    fi
    wait "$pid" || status=$?
    pid=""
    [ $status -eq 0 ] || { fail "$1: exit status $status"; return 1; }
}

# expect_saved PROGRAM KEY=VALUE...: Config.dat, as the consumer reads it (the profile API under
# Wine for the Windows program), holds each line and all 23 keys.
expect_saved() {
    local program=$1 saved
    shift
    [ -f "$dir/Config.dat" ] || { fail "no Config.dat"; return 0; }
    if [ "$program" = windows ]; then
        saved=$(cd "$dir" && wine "$work/programs/profile_probe.exe" Config.dat | tr -d '\r') ||
            { fail "the probe could not read Config.dat"; return 0; }
    else
        saved=$(tr -d '\r' <"$dir/Config.dat")
    fi
    expect_lines "$saved" "$@"
}

# save_twice KIND PROGRAM: both saves from a folder of PROGRAM's own on the volume, then no
# temporary file of the replace left beside Config.dat.
save_twice() {
    case_name="$1 $2"
    echo "== $case_name"
    dir=$vol/$2
    local name=QuentraModuleUpgrade
    [ "$2" = linux ] || name+=.exe
    if ! mkdir "$dir" || ! cp "$work/programs/$name" "$dir/"; then
        fail "the program could not be copied onto the volume"
        return 0
    fi
    start "$2" || { fail "the window did not appear"; return 0; }
    click 1920 720 # txtAddress
    keys ctrl+a
    xdotool type --delay 60 42
    finish "first save" || return 0
    expect_saved "$2" "Address=42" "Wait=0"
    # Only Wait is changed: Address is saved again only if the window showed the saved job.
    start "$2" || { fail "the window did not appear the second time"; return 0; }
    click 1920 3120 # txtWait
    keys ctrl+a
    xdotool type --delay 60 7
    finish "second save" || return 0
    expect_saved "$2" "Address=42" "Wait=7"
    local left
    left=$(find "$dir" -maxdepth 1 -name '.Config.dat.tmp-*' -printf '%f ')
    [ -z "$left" ] || fail "temporary files left: $left"
}

for row in "${rows[@]}"; do
    read -r kind programs <<<"$row"
    missing=""
    for tool in ${tools[$kind]}; do command -v "$tool" >/dev/null || missing+=" $tool"; done
    if [ -n "$missing" ]; then
        echo "SKIP [$kind]: missing$missing" >&2
        skipped+=("$kind")
        continue
    fi
    mkdir -p "$work/$kind/mnt"
    mounts+=("$work/$kind/mnt")
    vol=$work/$kind/mnt
    if ! "make_$kind" "$work/$kind" >"$work/$kind/make.log" 2>&1 ||
        ! mountpoint -q "$work/$kind/mnt"; then
        echo "SKIP [$kind]: the volume could not be made: $(tail -n 3 "$work/$kind/make.log")" >&2
        skipped+=("$kind")
        continue
    fi
    for program in $programs; do
        before=${#failed[@]}
        save_twice "$kind" "$program"
        [ ${#failed[@]} -ne "$before" ] || echo "passed [$kind $program]"
    done
    cd "$work"
done

[ ${#failed[@]} -eq 0 ] || { echo "failed: ${failed[*]}" >&2; exit 1; }
[ ${#skipped[@]} -eq 0 ] || { echo "skipped: ${skipped[*]}" >&2; exit 77; }
echo "saved twice on every volume"
