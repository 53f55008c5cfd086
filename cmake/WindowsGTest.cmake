# For the cross build: satisfies find_package(GTest) from the GoogleTest sources that Debian
# ships (package googletest), built with the cross compiler, since the host's libgtest cannot be
# linked into a Windows program. Loaded through CMAKE_PROJECT_TOP_LEVEL_INCLUDES.
set(QMU_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")

macro(qmu_provide_gtest method package_name)
    if("${package_name}" STREQUAL "GTest")
        if(NOT TARGET GTest::gtest)
            if(NOT EXISTS ${QMU_GTEST_SOURCE_DIR}/CMakeLists.txt)
                message(FATAL_ERROR "GoogleTest sources not found in ${QMU_GTEST_SOURCE_DIR} "
                                    "(Debian package googletest)")
            endif()
            set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
            add_subdirectory(${QMU_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_googletest
                             EXCLUDE_FROM_ALL SYSTEM)
            # Foreign code: the project's -Werror set is not meant for it.
            foreach(qmu_gtest_target gtest gtest_main gmock gmock_main)
                if(TARGET ${qmu_gtest_target})
                    set_property(TARGET ${qmu_gtest_target} PROPERTY COMPILE_OPTIONS -w)
                endif()
            endforeach()
        endif()
        set(GTest_FOUND TRUE)
        set(GTEST_FOUND TRUE)
    endif()
endmacro()

cmake_language(SET_DEPENDENCY_PROVIDER qmu_provide_gtest SUPPORTED_METHODS FIND_PACKAGE)
