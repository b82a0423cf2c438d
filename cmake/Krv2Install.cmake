# Install rules (programs, desktop entry, icon, AppStream data, man pages) and the
# Debian package built from them: `cpack -G DEB` in the build folder.
include(GNUInstallDirs)

# The desktop entry's and AppStream's id; the files under packaging/ are named by it.
set(KRV2_APP_ID io.github.krv2tool.krv2tool)
# Every program the package may hold. One that this build does not define is left
# out; one that it defines needs its man page in packaging/man/ (the package check
# holds the page to the program's --help).
set(KRV2_PROGRAMS krv2tool krv2sim krv2ctl)
# The hicolor sizes of the PNG icons in packaging/icons/, beside the SVG.
set(KRV2_ICON_SIZES 16 22 24 32 48 64 128 256)

set(KRV2_PACKAGE_MAINTAINER
    "Seed 5e5572db maintainers <maintainers@users.noreply.c-seed-5e5572db.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(_krv2_packaging ${CMAKE_CURRENT_LIST_DIR}/../packaging)
cmake_path(NORMAL_PATH _krv2_packaging)

if(UNIX AND NOT APPLE)
    install(FILES ${_krv2_packaging}/${KRV2_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${_krv2_packaging}/icons/krv2tool.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size IN LISTS KRV2_ICON_SIZES)
        install(FILES ${_krv2_packaging}/icons/krv2tool-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME krv2tool.png)
    endforeach()
endif()

# Runs once every directory has defined its targets, wherever the include stands.
function(krv2_install_programs)
    set(installed)
    set(pages)
    set(binaries)
    foreach(program IN LISTS KRV2_PROGRAMS)
        if(NOT TARGET ${program})
            continue()
        endif()
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        list(APPEND installed ${program})
        list(APPEND binaries "    <binary>${program}</binary>")
        if(NOT (UNIX AND NOT APPLE))
            continue()
        endif()
        set(page ${_krv2_packaging}/man/${program}.1)
        # A missing page stops only the package check, not the build.
        if(NOT EXISTS ${page})
            message(WARNING "${program} is installed but has no man page: write ${page}")
            continue()
        endif()
        # Debian ships man pages compressed; -n keeps the archive free of a timestamp.
        set(gz ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
        add_custom_command(
            OUTPUT ${gz}
            COMMAND ${CMAKE_COMMAND} -E copy ${page} ${CMAKE_BINARY_DIR}/man/${program}.1
            COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/man/${program}.1
            DEPENDS ${page}
            VERBATIM)
        list(APPEND pages ${gz})
    endforeach()
    if(NOT (UNIX AND NOT APPLE))
        return()
    endif()
    add_custom_target(krv2_man_pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

    list(JOIN binaries "\n" KRV2_METAINFO_BINARIES)
    configure_file(${_krv2_packaging}/${KRV2_APP_ID}.metainfo.xml.in
                   ${CMAKE_BINARY_DIR}/${KRV2_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/${KRV2_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # Builds the package into a scratch folder once; the two checks read it.
    set(check ${CMAKE_SOURCE_DIR}/tests/packaging/check_package.sh)
    set(scratch ${CMAKE_BINARY_DIR}/package-check)
    list(JOIN KRV2_ICON_SIZES "," sizes)
    set(args ${scratch} ${PROJECT_VERSION} ${KRV2_APP_ID} ${sizes} ${installed})
    add_test(NAME package_build COMMAND bash ${check} build ${args})
    add_test(NAME package_contents COMMAND bash ${check} contents ${args})
    add_test(NAME package_runs COMMAND bash ${check} runs ${args})
    add_test(NAME package_cleanup COMMAND ${CMAKE_COMMAND} -E rm -rf ${scratch})
    set_tests_properties(package_build PROPERTIES
        FIXTURES_SETUP krv2_package
        ENVIRONMENT "KRV2_CPACK=${CMAKE_CPACK_COMMAND};KRV2_CPACK_CONFIG=${CMAKE_BINARY_DIR}/CPackConfig.cmake"
        TIMEOUT 300)
    set_tests_properties(package_contents package_runs PROPERTIES
        FIXTURES_REQUIRED krv2_package
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${KRV2_SANITIZER_ENVIRONMENT}"
        TIMEOUT 120)
    set_tests_properties(package_cleanup PROPERTIES FIXTURES_CLEANUP krv2_package)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL krv2_install_programs)

if(UNIX AND NOT APPLE)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME krv2tool)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
        "service and test tool for the KRV2 coin acceptor board")
    set(CPACK_PACKAGE_DESCRIPTION
        "A desktop tool for a technician who connects a KRV2 coin acceptor board to a
serial port (9600 baud, 8N1): read and write its coin-channel table, drive its
command protocol, test its sensors and outputs, capture and plot the sensor
waveforms it sends for every coin, and write a memory image to it with CRC
verification. The simulated board krv2sim lets you try every page without a
board.")
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KRV2_PACKAGE_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_STRIP_FILES ON)
    # Library dependencies come from the binaries. Qt loads its windowing plugin at run
    # time, so no binary names it: without it the tool cannot open its window.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # QtSvg draws the plot's SVG export; named too, beside what the binaries show.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
    # The Chinese texts of the wave page need a CJK font.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-wqy-microhei)
    include(CPack)
endif()
