#!/usr/bin/env bash
# The desktop installation, staged into a temporary folder (DESTDIR): the program folder under
# the prefix, the launcher, menu entry, icons, metainfo and polkit action in the system's
# folders, each naming the installed program; the validators accept the metainfo, the menu
# entry and the policy; the launcher goes through pkexec and tells a cancelled (126) and a
# refused (127) authorisation apart; uninstall removes everything again.
#
#   install_test.sh BUILD_DIR
set -uo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check_file() { [ -e "$stage$1" ] || fail "missing $1"; }

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
system=$(sed -n 's/^ORBISCA_SYSTEM_PREFIX:PATH=//p' "$build/CMakeCache.txt")
polkit=$(sed -n 's/^ORBISCA_POLKIT_ACTIONS_DIR:PATH=//p' "$build/CMakeCache.txt")
[ "$prefix" = /opt/zelvano/orbisca ] || fail "default prefix is $prefix"

# The manifest belongs to the build folder; keep the developer's own one.
manifest="$build/install_manifest.txt"
saved=""
[ -f "$manifest" ] && { saved=$(mktemp); cp "$manifest" "$saved"; }
restore_manifest() { if [ -n "$saved" ]; then mv "$saved" "$manifest"; else rm -f "$manifest"; fi; }

DESTDIR="$stage" cmake --install "$build" >/dev/null || fail "cmake --install"

for f in orbisca orbisca-report undelete.so translation/orb2024_de-de.nlang3 translation/index.txt \
         skins/default/skin.ini skins/Dark/skin.ini skins/stripe.png; do
    check_file "$prefix/$f"
done
[ -x "$stage$prefix/orbisca" ] || fail "program not executable"
launcher="$system/bin/orbisca"
desktop="$system/share/applications/com.zelvano.Orbisca2024.desktop"
metainfo="$system/share/metainfo/com.zelvano.Orbisca2024.metainfo.xml"
policy="$polkit/com.zelvano.orbisca2024.policy"
for f in "$launcher" "$desktop" "$metainfo" "$policy"; do check_file "$f"; done
for size in 16 24 32 48 64 128 256; do
    check_file "$system/share/icons/hicolor/${size}x${size}/apps/com.zelvano.Orbisca2024.png"
done
[ -x "$stage$launcher" ] || fail "launcher not executable"

grep -qx "program='$prefix/orbisca'" "$stage$launcher" || fail "launcher does not name $prefix/orbisca"
grep -qx "Exec=$launcher" "$stage$desktop" || fail "menu entry does not start the launcher"
grep -qx "Categories=System;Filesystem;" "$stage$desktop" || fail "menu categories"
grep -q "<annotate key=\"org.freedesktop.policykit.exec.path\">$prefix/orbisca</annotate>" "$stage$policy" \
    || fail "policy does not name the program"
grep -q "<annotate key=\"org.freedesktop.policykit.exec.allow_gui\">true</annotate>" "$stage$policy" \
    || fail "policy does not allow the window"
[ "$(grep -c '<allow_[a-z]*>auth_admin</allow_' "$stage$policy")" = 3 ] || fail "policy defaults are not auth_admin"

if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$stage$metainfo" >/dev/null || fail "appstreamcli validate"
else
    echo "note: appstreamcli missing, metainfo not validated"
fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$stage$desktop" || fail "desktop-file-validate"
fi
if command -v xmllint >/dev/null; then
    xmllint --noout "$stage$policy" || fail "policy is not well-formed XML"
fi

# The launcher, run by an ordinary user, with a pkexec and a program of our own that record
# what they are asked.
tools=$(mktemp -d "$stage/tools.XXXX")
chmod 755 "$stage" "$tools"
cat >"$tools/pkexec" <<'EOF'
#!/bin/sh
echo "pkexec $*" >>"$LOG"
exit "$PKEXEC_STATUS"
EOF
cat >"$tools/program" <<'EOF'
#!/bin/sh
echo "program $*" >>"$LOG"
EOF
chmod 755 "$tools/pkexec" "$tools/program"
sed "s|^program=.*|program='$tools/program'|" "$stage$launcher" >"$tools/launcher"
chmod 755 "$tools/launcher"
as_user() {
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --reuid=65534 --regid=65534 --clear-groups env "$@"
    else
        env "$@"
    fi
}
for case in "0:" "126:program --launcher-notice cancelled" "127:program --launcher-notice refused"; do
    status=${case%%:*}
    expected=${case#*:}
    log="$tools/log.$status"
    : >"$log"
    chmod 666 "$log"
    as_user PATH="$tools:/usr/bin:/bin" LOG="$log" PKEXEC_STATUS="$status" "$tools/launcher" -NOVERSION 2>/dev/null
    got=$?
    [ "$got" = "$status" ] || fail "launcher with pkexec $status ended with $got"
    first=$(sed -n 1p "$log")
    [ "$first" = "pkexec $tools/program -NOVERSION" ] || fail "pkexec $status: asked '$first'"
    second=$(sed -n 2p "$log")
    [ "$second" = "$expected" ] || fail "pkexec $status: then '$second', expected '$expected'"
done
# Without pkexec the launcher says so and ends.
log="$tools/log.none"
: >"$log"
chmod 666 "$log"
mkdir -p "$tools/empty"
ln -s "$(command -v id)" "$tools/empty/id"
as_user PATH="$tools/empty" LOG="$log" /bin/sh "$tools/launcher" 2>/dev/null
[ $? = 1 ] || fail "launcher without pkexec does not fail"
grep -qx "program --launcher-notice no-pkexec" "$log" || fail "no notice without pkexec"

# Uninstall removes every installed file and the program folder.
DESTDIR="$stage" cmake -P "$build/packaging/uninstall.cmake" >/dev/null || fail "uninstall"
left=$(cd "$stage" && find . -type f -not -path "./tools.*" | head -5)
[ -z "$left" ] || fail "uninstall left: $left"
[ ! -e "$stage$prefix" ] || fail "uninstall left the program folder"
restore_manifest

[ "$failures" = 0 ] && echo "install test passed"
exit $((failures > 0))
