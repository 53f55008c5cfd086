# CPack post-build script: gives each package made the same bytes for the same contents
# (packaging/normalize_archive.py), its entries dated by the commit built. SOURCE_DATE_EPOCH,
# when set, names that time instead; without either (sources without their history) the
# entries take 1980-01-01, the first time a ZIP can hold.
if(NOT CPACK_QMU_PYTHON)
    message(WARNING "python3 not found: the package keeps the build's own times and owner")
    return()
endif()
set(qmu_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(qmu_epoch STREQUAL "")
    execute_process(COMMAND git -C "${CPACK_QMU_SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE qmu_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE qmu_git_result ERROR_QUIET)
    if(NOT qmu_git_result EQUAL 0 OR qmu_epoch STREQUAL "")
        if(EXISTS "${CPACK_QMU_SOURCE_DIR}/.git")
            message(WARNING "git gave no commit time for ${CPACK_QMU_SOURCE_DIR}: the package's "
                            "entries are dated 1980-01-01, not by the commit")
        endif()
        set(qmu_epoch 315532800)
    endif()
endif()
execute_process(COMMAND "${CPACK_QMU_PYTHON}"
                        "${CPACK_QMU_SOURCE_DIR}/packaging/normalize_archive.py"
                        "${qmu_epoch}" ${CPACK_PACKAGE_FILES}
                COMMAND_ERROR_IS_FATAL ANY)
