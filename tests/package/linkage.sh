# Sourced by the package checks. check_linkage FOLDER: the program in an installed or unpacked
# folder finds every library it needs, and with Qt bundled (qt.conf beside it) the folder's own
# Qt, wherever the folder now lies.
check_linkage() {
    local folder=$1 libs
    # Whole output first: grep -q would leave ldd writing into a closed pipe.
    libs=$(ldd "$folder/QuentraModuleUpgrade")
    if grep -q 'not found' <<<"$libs"; then
        echo "$libs" >&2
        return 1
    fi
    if [ -f "$folder/qt.conf" ]; then
        grep -qF "libQt6Core.so.6 => $folder/lib/" <<<"$libs" ||
            { echo "$libs" >&2; echo "bundled Qt not used in $folder" >&2; return 1; }
    fi
}
