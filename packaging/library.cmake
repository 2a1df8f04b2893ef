# The C library and the Python module, as Debian packages them: the shared library alone in
# libplovik1, the header, the link, pkg-config and CMake files in libplovik-dev, the module in
# python3-plovik. Each package has its copyright file.
include(CMakePackageConfigHelpers)

if(TARGET plovik_shared)
    install(TARGETS plovik_shared EXPORT plovikTargets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev)
    install(FILES ${PROJECT_SOURCE_DIR}/capi/include/plovik/plovik.h
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/plovik COMPONENT dev)
    install(FILES ${PROJECT_BINARY_DIR}/capi/plovik.pc
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
    set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/plovik)
    install(EXPORT plovikTargets NAMESPACE plovik:: DESTINATION ${cmake_dir} COMPONENT dev)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/plovikConfig.cmake
         "include(\"\${CMAKE_CURRENT_LIST_DIR}/plovikTargets.cmake\")\n")
    write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/plovikConfigVersion.cmake
                                     COMPATIBILITY SameMajorVersion)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/plovikConfig.cmake
                  ${CMAKE_CURRENT_BINARY_DIR}/plovikConfigVersion.cmake
            DESTINATION ${cmake_dir} COMPONENT dev)

    set(CPACK_DEBIAN_LIB_PACKAGE_NAME libplovik${PROJECT_VERSION_MAJOR})
    set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
    string(CONCAT CPACK_DEBIAN_LIB_DESCRIPTION
        "The shared library libplovik analyses AVI files without decoding any media:\n"
        "their record as JSON, the check's verdict and findings, and repaired copies of\n"
        "damaged files, through a C interface.")
    set(CPACK_DEBIAN_DEV_PACKAGE_NAME libplovik-dev)
    set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
        "${CPACK_DEBIAN_LIB_PACKAGE_NAME} (= ${PROJECT_VERSION})")
    string(CONCAT CPACK_DEBIAN_DEV_DESCRIPTION
        "The development files of libplovik: the header plovik/plovik.h, the link to\n"
        "libplovik, its pkg-config file (plovik) and its CMake package\n"
        "(find_package(plovik), target plovik::plovik).")
    # A shlibs file, so that programs built against the library depend on it.
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    set(doc_packages lib dev)
endif()

if(TARGET plovik_python)
    # Debian's interpreter reads lib/python3/dist-packages under /usr (where packages put
    # modules) and lib/python3.X/dist-packages under /usr/local; the prefix is known only
    # when installing.
    install(CODE "
        if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
            set(site lib/python3/dist-packages)
        else()
            set(site lib/python${PLOVIK_PYTHON_VERSION}/dist-packages)
        endif()
        file(INSTALL \"${PROJECT_SOURCE_DIR}/python/plovik/__init__.py\"
                     \"$<TARGET_FILE:plovik_python>\"
             DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${site}/plovik\")"
            COMPONENT python)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-plovik)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
    # The extension is built for this interpreter's version.
    string(REGEX REPLACE "^([0-9]+)\\.([0-9]+)$" "\\2" minor ${PLOVIK_PYTHON_VERSION})
    math(EXPR next_minor "${minor} + 1")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
        "python3 (>= ${PLOVIK_PYTHON_VERSION}), python3 (<< 3.${next_minor})")
    string(CONCAT CPACK_DEBIAN_PYTHON_DESCRIPTION
        "The Python module plovik inspects, checks and repairs AVI files without decoding any\n"
        "media: plovik.inspect gives a file's record as a dict, plovik.check its verdict\n"
        "and findings, plovik.repair a repaired copy. The library is linked in.")
    list(APPEND doc_packages python)
endif()

foreach(component IN LISTS doc_packages)
    string(TOUPPER ${component} upper)
    install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/copyright
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
            COMPONENT ${component})
endforeach()
