# Packaging. `cmake --install` lays out one self-contained folder; CPack makes a portable
# .tar.gz (a .zip on Windows) of it. The program sits at the folder's root, since it keeps
# Config.dat beside its own executable.
#
# Linux:
#   QuentraModuleUpgrade            the program
#   quentra-module-upgrade.png      its icon
#   quentra-module-upgrade.desktop  desktop entry for the folder's location
#   register-desktop-entry.sh       rewrites that entry after the folder moved, adds it to the menu
#   qt.conf, lib/, plugins/         the bundled Qt libraries (QMU_BUNDLE_QT)
# Windows:
#   QuentraModuleUpgrade.exe        the program, linked statically: icon, manifest and version
#                                   information are resources in it, no DLL goes beside it
#   README.txt                      a short text on its use
# Both:
#   Config.dat                      written by the program on Ok
#
# The Linux folder can be moved anywhere: the program finds lib/ through an $ORIGIN run path.
# The same commit packs to the same bytes: cmake/Reproducible.cmake and
# cmake/PackageReproducible.cmake.

set(QMU_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

if(WIN32)
    # The resources; without the program (a core-only build) they are compiled on their own,
    # which still proves that the resource script, the icon and the manifest are sound.
    enable_language(RC)
    set(QMU_WINDOWS_ICON ${QMU_PACKAGING_DIR}/windows/QuentraModuleUpgrade.ico)
    set(QMU_WINDOWS_MANIFEST ${PROJECT_BINARY_DIR}/packaging/QuentraModuleUpgrade.manifest)
    configure_file(${QMU_PACKAGING_DIR}/windows/QuentraModuleUpgrade.manifest.in
                   ${QMU_WINDOWS_MANIFEST} @ONLY)
    configure_file(${QMU_PACKAGING_DIR}/windows/QuentraModuleUpgrade.rc.in
                   ${PROJECT_BINARY_DIR}/packaging/QuentraModuleUpgrade.rc @ONLY)
    configure_file(${QMU_PACKAGING_DIR}/windows/README.txt.in
                   ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
    set_source_files_properties(${PROJECT_BINARY_DIR}/packaging/QuentraModuleUpgrade.rc
                                PROPERTIES OBJECT_DEPENDS
                                "${QMU_WINDOWS_ICON};${QMU_WINDOWS_MANIFEST}")
    if(TARGET QuentraModuleUpgrade)
        # A source file's properties hold in one folder: the program's is another.
        set_source_files_properties(${PROJECT_BINARY_DIR}/packaging/QuentraModuleUpgrade.rc
                                    TARGET_DIRECTORY QuentraModuleUpgrade PROPERTIES OBJECT_DEPENDS
                                    "${QMU_WINDOWS_ICON};${QMU_WINDOWS_MANIFEST}")
        set_target_properties(QuentraModuleUpgrade PROPERTIES WIN32_EXECUTABLE ON)
        # Stripped by the linker, so that the .exe built is the one shipped: binutils' strip
        # would stamp it anew with the time of the packaging.
        target_link_options(QuentraModuleUpgrade PRIVATE "$<$<NOT:$<CONFIG:Debug>>:-s>")
        target_sources(QuentraModuleUpgrade
                       PRIVATE ${PROJECT_BINARY_DIR}/packaging/QuentraModuleUpgrade.rc)
    else()
        add_library(qmu_windows_resource OBJECT
                    ${PROJECT_BINARY_DIR}/packaging/QuentraModuleUpgrade.rc)
    endif()
endif()

if(NOT TARGET QuentraModuleUpgrade)
    return()
endif()

install(TARGETS QuentraModuleUpgrade RUNTIME DESTINATION .)

if(WIN32)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION .)
elseif(NOT APPLE)
    option(QMU_BUNDLE_QT "Copy the Qt libraries and the xcb platform plugin into the package" ON)

    install(FILES ${QMU_PACKAGING_DIR}/linux/quentra-module-upgrade.png DESTINATION .)
    install(PROGRAMS ${QMU_PACKAGING_DIR}/linux/register-desktop-entry.sh DESTINATION .)
    # The entry names absolute paths, so it is written for the prefix being installed to.
    install(CODE [[
        execute_process(
            COMMAND sh "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/register-desktop-entry.sh"
                    --no-menu --location "${CMAKE_INSTALL_PREFIX}"
            COMMAND_ERROR_IS_FATAL ANY)
    ]])

    # Found in lib/ first, wherever the folder lies. A DT_RPATH rather than a DT_RUNPATH, since
    # only the former also serves the libraries that Qt loads (its platform plugin's own).
    set_target_properties(QuentraModuleUpgrade PROPERTIES INSTALL_RPATH "$ORIGIN/lib")
    if(QMU_BUNDLE_QT)
        target_link_options(QuentraModuleUpgrade PRIVATE "LINKER:--disable-new-dtags")
    endif()

    if(QMU_BUNDLE_QT AND NOT TARGET Qt6::QXcbIntegrationPlugin)
        # Debian's Qt leaves its plugin list out; the plugin's own config is there.
        find_package(Qt6QXcbIntegrationPlugin CONFIG QUIET PATHS ${Qt6Gui_DIR} NO_DEFAULT_PATH)
    endif()
    if(QMU_BUNDLE_QT AND NOT TARGET Qt6::QXcbIntegrationPlugin)
        message(WARNING "Qt's xcb platform plugin not found: the package will use the system's Qt")
    elseif(QMU_BUNDLE_QT)
        get_target_property(qmu_xcb_plugin Qt6::QXcbIntegrationPlugin LOCATION)
        install(FILES ${QMU_PACKAGING_DIR}/linux/qt.conf DESTINATION .)
        install(FILES ${qmu_xcb_plugin} DESTINATION plugins/platforms)
        # Qt and the libraries of its own that a desktop without Qt 6 tends to lack; the
        # system's C/C++ runtime, X11, OpenGL, fonts and the like are taken from the system.
        install(CODE "set(QMU_XCB_PLUGIN \"${qmu_xcb_plugin}\")")
        install(CODE [[
            file(GET_RUNTIME_DEPENDENCIES
                 EXECUTABLES "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/QuentraModuleUpgrade"
                 MODULES "${QMU_XCB_PLUGIN}"
                 RESOLVED_DEPENDENCIES_VAR qmu_deps
                 UNRESOLVED_DEPENDENCIES_VAR qmu_missing
                 POST_INCLUDE_REGEXES
                     "/lib(Qt6|icu|double-conversion|b2|pcre2-16|md4c|xkbcommon)[^/]*$"
                     "/libxcb-(icccm|image|keysyms|render-util|util|cursor)[^/]*$"
                 POST_EXCLUDE_REGEXES ".*")
            if(qmu_missing)
                message(FATAL_ERROR "Libraries not found for the package: ${qmu_missing}")
            endif()
            foreach(qmu_dep IN LISTS qmu_deps)
                file(INSTALL "${qmu_dep}" DESTINATION "${CMAKE_INSTALL_PREFIX}/lib"
                     FOLLOW_SYMLINK_CHAIN)
            endforeach()
        ]])
    endif()
endif()

set(CPACK_PACKAGE_NAME quentra-module-upgrade)
set(CPACK_PACKAGE_VENDOR "Quentra")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" qmu_platform)
set(CPACK_PACKAGE_FILE_NAME "quentra-module-upgrade-${PROJECT_VERSION}-${qmu_platform}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR TGZ)
    set(CPACK_STRIP_FILES ON)
    # The unpacked folder's entry points at /opt/quentra-module-upgrade until
    # register-desktop-entry.sh has rewritten it for wherever the folder was unpacked.
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageDesktopEntry.cmake)
endif()
# The same bytes for the same contents: fixed times, owner and order of the entries.
# Debian's own Python first: the one every builder has, whatever the PATH holds.
find_program(QMU_PACKAGE_PYTHON NAMES python3 HINTS /usr/bin)
set(CPACK_QMU_PYTHON ${QMU_PACKAGE_PYTHON})
set(CPACK_QMU_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageReproducible.cmake)
include(CPack)
