# CPack pre-build script: the staged desktop entry was written for the staging directory; the
# archive's is written for /opt/quentra-module-upgrade instead, the usual place of such a folder.
file(GLOB_RECURSE qmu_scripts "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/register-desktop-entry.sh")
if(NOT qmu_scripts)
    file(GLOB qmu_scripts "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/register-desktop-entry.sh")
endif()
foreach(qmu_script IN LISTS qmu_scripts)
    execute_process(COMMAND sh "${qmu_script}" --no-menu --location /opt/quentra-module-upgrade
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
