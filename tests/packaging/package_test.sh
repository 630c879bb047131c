#!/usr/bin/env bash
# Installs a build into a scratch root and builds the Debian package from it, then checks what a desktop
# and apt would see: every file in place, launcher and software-centre data accepted by the desktop's
# own validators and pointing at each other, and a package with the right files and dependencies that
# lintian passes without errors or warnings.
#
# Usage: package_test.sh BUILD_DIR CMAKE CPACK VERSION
# Exits 77 (skipped) when the packaging tools are not installed.
set -uo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 BUILD_DIR CMAKE CPACK VERSION" >&2
    exit 2
fi
build_dir=$1
cmake=$2
cpack=$3
version=$4

app_id=com.pellamor.app
icon_sizes=(16 24 32 48 64 128 256)

missing=()
for tool in "$cpack" dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli file lintian; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "SKIP: not installed: ${missing[*]} (scripts/install-deps.sh test installs them)"
    exit 77
fi

scratch=$(mktemp -d)
# Any install of the build folder rewrites its install_manifest.txt, which people use to uninstall a
# real install by hand; the one from before this test is put back so it keeps listing their files.
manifest=$build_dir/install_manifest.txt
if [ -e "$manifest" ]; then
    cp -p "$manifest" "$scratch/install_manifest.saved"
fi
restore() {
    if [ -e "$scratch/install_manifest.saved" ]; then
        cp -p "$scratch/install_manifest.saved" "$manifest"
    else
        rm -f "$manifest"
    fi
    rm -rf "$scratch"
}
trap restore EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Stops at once: the checks after it would only repeat the same fault.
fatal() {
    echo "FAIL: $*"
    exit 1
}

# Regular files and symbolic links below a root, one relative path a line, sorted.
file_list() {
    (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
}

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
module=usr/lib/$multiarch/pellamor/pellamor-program.so

expected_files() {
    {
        echo usr/bin/pellamor
        echo "$module"
        echo "usr/share/applications/$app_id.desktop"
        echo "usr/share/metainfo/$app_id.metainfo.xml"
        echo "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
        for size in "${icon_sizes[@]}"; do
            echo "usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
        done
        echo usr/share/doc/pellamor/copyright
        echo usr/share/doc/pellamor/changelog.gz
        echo usr/share/man/man1/pellamor.1.gz
        echo usr/share/dbus-1/interfaces/com.pellamor.History1.xml
        echo usr/share/bash-completion/completions/pellamor
    } | LC_ALL=C sort
}

# Value of a key in the [Desktop Entry] group, without translations.
desktop_value() {
    sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$1"'=//p}' "$2" | head -n 1
}

echo "== Install into a scratch root"
root=$scratch/root
if ! DESTDIR=$root "$cmake" --install "$build_dir" --prefix /usr >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log"
    fatal "cmake --install failed (is the build complete?)"
fi

echo "== Installed files"
expected_files >"$scratch/expected.txt"
file_list "$root" >"$scratch/installed.txt"
while read -r path; do
    [ -e "$root/$path" ] || fail "not installed: /$path"
done <"$scratch/expected.txt"
# Build tools, static libraries and headers must never reach a user's system.
while read -r path; do
    case $path in
    usr/bin/pellamor | "$module" | usr/share/*) ;;
    *) fail "installed outside the program and share/: /$path" ;;
    esac
done <"$scratch/installed.txt"

if [ -e "$root/usr/bin/pellamor" ]; then
    [ -x "$root/usr/bin/pellamor" ] || fail "/usr/bin/pellamor is not executable"
    file -b "$root/usr/bin/pellamor" | grep -q '^ELF' || fail "/usr/bin/pellamor is not an ELF program"
    # The installed launcher finds the program module: with no session bus, list reads the (empty)
    # history through it.
    mkdir -p "$scratch/home"
    HOME=$scratch/home DBUS_SESSION_BUS_ADDRESS=unix:path=$scratch/no-bus "$root/usr/bin/pellamor" list \
        >"$scratch/list.log" 2>&1 || fail "the installed pellamor cannot read the history: $(cat "$scratch/list.log")"
fi
for size in "${icon_sizes[@]}"; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -e "$png" ] || continue
    description=$(file -b "$png")
    case $description in
    "PNG image data, $size x $size, "*) ;;
    *) fail "${size}x${size} icon is not a PNG of that size: $description" ;;
    esac
done

echo "== Launcher and software-centre data"
desktop=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
if [ -e "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $app_id.desktop"
    exec_program=$(desktop_value Exec "$desktop" | cut -d ' ' -f 1)
    if [ -z "$exec_program" ] || [ ! -x "$root/usr/bin/$exec_program" ]; then
        fail "Exec=$exec_program in the desktop file is not the installed program"
    fi
    icon=$(desktop_value Icon "$desktop")
    [ -e "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
        fail "Icon=$icon in the desktop file names no installed icon"
    grep -q '^GenericName\[zh_CN\]=.' "$desktop" || fail "the desktop file has no Chinese GenericName"
    grep -q '^Comment\[zh_CN\]=.' "$desktop" || fail "the desktop file has no Chinese Comment"
    # The launcher's actions start the program again, which the running instance answers.
    [ "$(desktop_value Actions "$desktop")" = "open-history;settings;" ] ||
        fail "the desktop file's actions are '$(desktop_value Actions "$desktop")', not open-history;settings;"
    action_value() { # ACTION KEY
        sed -n '/^\[Desktop Action '"$1"'\]/,/^\[/{s/^'"$2"'=//p}' "$desktop" | head -n 1
    }
    [ "$(action_value open-history 'Name\[zh_CN\]')" = 打开剪贴板历史 ] || fail "the open-history action is not named 打开剪贴板历史"
    [ "$(action_value settings 'Name\[zh_CN\]')" = 设置 ] || fail "the settings action is not named 设置"
    [ "$(action_value open-history Exec)" = pellamor ] || fail "the open-history action runs '$(action_value open-history Exec)'"
    [ "$(action_value settings Exec)" = "pellamor --surface=settings" ] ||
        fail "the settings action runs '$(action_value settings Exec)'"
fi
if [ -e "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $app_id.metainfo.xml"
    grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo id is not $app_id"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        fail "the metainfo does not launch $app_id.desktop"
    # Software centres show the first release as the current one.
    newest_release=$(grep -o '<release [^>]*version="[^"]*"' "$metainfo" | head -n 1 | sed 's/.*version="//; s/"$//')
    [ "$newest_release" = "$version" ] ||
        fail "the newest release in the metainfo is '$newest_release', the project is $version"
fi

echo "== Debian package"
# cpack reads the CPackConfig.cmake of the folder it runs in; -B keeps its work out of the build folder.
if ! (cd "$build_dir" && "$cpack" -G DEB -B "$scratch/deb") >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    fatal "cpack -G DEB failed"
fi
shopt -s nullglob
debs=("$scratch"/deb/*.deb)
shopt -u nullglob
[ ${#debs[@]} -eq 1 ] || fatal "cpack made ${#debs[@]} .deb files, expected one: ${debs[*]}"
deb=${debs[0]}
echo "built $(basename "$deb")"
arch=$(dpkg --print-architecture)
case $(basename "$deb") in
pellamor_"$version"*_"$arch".deb) ;;
*) fail "the package file $(basename "$deb") does not match pellamor_${version}*_$arch.deb" ;;
esac

# Printed whole so that a failure below can be read against the real control file.
dpkg-deb -I "$deb" || fatal "dpkg-deb -I cannot read $(basename "$deb")"
field() {
    dpkg-deb -f "$deb" "$1"
}
# Package names of a relationship field, without versions or alternatives.
field_names() {
    field "$1" | tr ',|' '\n' | sed 's/(.*)//; s/^ *//; s/ *$//' | grep -v '^$'
}
[ "$(field Package)" = pellamor ] || fail "Package is '$(field Package)', not pellamor"
case $(field Version) in
"$version" | "$version"-*) ;;
*) fail "Version is '$(field Version)', the project is $version" ;;
esac
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)', not utils"
[ "$(field Maintainer)" = "Pellamor developers <support@pellamor.example>" ] ||
    fail "Maintainer is '$(field Maintainer)'"
[ -n "$(field Description)" ] || fail "the package has no Description"
depends=$(field_names Depends)
for dependency in libqt6widgets6 libqt6gui6 libqt6core6 qt6-image-formats-plugins qt6-qpa-plugins \
    fonts-material-design-icons-iconfont; do
    grep -qx "$dependency" <<<"$depends" || fail "Depends lacks $dependency: $(field Depends)"
done
recommends=$(field_names Recommends)
for recommended in fonts-noto-cjk fonts-noto-color-emoji gnome-shell-extension-appindicator \
    libtesseract5 tesseract-ocr-chi-sim tesseract-ocr-eng; do
    grep -qx "$recommended" <<<"$recommends" || fail "Recommends lacks $recommended: $(field Recommends)"
done
# Text recognition is optional (off by default): forcing its engine and data on every install is wrong.
for optional in libtesseract5 tesseract-ocr-chi-sim tesseract-ocr-eng; do
    grep -qx "$optional" <<<"$depends" && fail "Depends names the optional $optional: $(field Depends)"
done
# Maintainer scripts are the only way a package could act on removal, for example on home folders.
control_members=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$')
for script in preinst postinst prerm postrm config; do
    grep -qx "$script" <<<"$control_members" && fail "the package has a maintainer script: $script"
done

dpkg-deb -c "$deb" >"$scratch/contents.txt" || fatal "dpkg-deb -c cannot read $(basename "$deb")"
# Same layout as an install to /usr: no missing icon and nothing extra, at the same paths.
awk '$1 !~ /^d/ { path = $6; sub(/^\.\//, "", path); print path }' "$scratch/contents.txt" |
    LC_ALL=C sort >"$scratch/packaged.txt"
if ! diff -u "$scratch/installed.txt" "$scratch/packaged.txt" >"$scratch/contents.diff"; then
    cat "$scratch/contents.diff"
    fail "the package's files differ from an install to /usr (- installed only, + packaged only)"
fi
while read -r path; do
    grep -qx "$path" "$scratch/packaged.txt" || fail "not in the package: /$path"
done <"$scratch/expected.txt"
grep -Eq '^-rwxr-xr-x root/root .* \./usr/bin/pellamor$' "$scratch/contents.txt" ||
    fail "/usr/bin/pellamor is not a root-owned executable in the package: $(grep 'usr/bin/pellamor' "$scratch/contents.txt")"

echo "== lintian"
# Errors and warnings fail; informational tags and pedantic hints are printed for the reader.
if ! lintian --fail-on error,warning --display-info "$deb" >"$scratch/lintian.log" 2>&1; then
    cat "$scratch/lintian.log"
    fail "lintian reports errors or warnings"
else
    cat "$scratch/lintian.log"
fi
# The manual page must format without groff complaints.
if command -v man >/dev/null 2>&1; then
    man_warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
        "$root/usr/share/man/man1/pellamor.1.gz" 2>&1 >/dev/null)
    [ -z "$man_warnings" ] || fail "the manual page formats with warnings: $man_warnings"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures packaging check(s) failed"
    exit 1
fi
echo "all packaging checks passed"
