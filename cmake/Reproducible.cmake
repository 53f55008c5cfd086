# One commit builds to the same bytes wherever its clone lies and whenever it is built, so that
# anyone can check a published package against the sources (scripts/check_reproducible.sh).

# The clone's and the build folder's absolute paths stay out of the objects (debug information,
# __FILE__); the build folder is named last, since it may lie inside the sources and the last
# matching map wins. Not in Debug builds, which nobody ships and whose debugger should find the
# sources where they are.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
                        "$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
endif()

# The linker stamps a PE file with the time of the link unless told not to.
if(WIN32 AND NOT MSVC)
    add_link_options(LINKER:--no-insert-timestamp)
endif()

# Qt's resource compiler stores each file's modification time, which in a clone is the time of
# the checkout; format 1 has no times, and the program reads no resource's time.
set(CMAKE_AUTORCC_OPTIONS --format-version 1)
