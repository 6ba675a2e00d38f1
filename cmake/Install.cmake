# What `cmake --install` puts where. The layout follows GNUInstallDirs, and
# the program relies on it: it looks for its default data files in
# <directory of the executable>/../share/drossgate.
include(GNUInstallDirs)

set(DROSSGATE_RESOURCES ${CMAKE_SOURCE_DIR}/resources)

install(TARGETS drossgate-ctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET drossgate)
    install(TARGETS drossgate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The defaults a first start copies into the user's data directory. The
# language files are matched when installing, so a new translation needs no
# new configure run.
install(FILES ${DROSSGATE_RESOURCES}/Settings.ini
    DESTINATION ${CMAKE_INSTALL_DATADIR}/drossgate)
install(DIRECTORY ${DROSSGATE_RESOURCES}/Language/
    DESTINATION ${CMAKE_INSTALL_DATADIR}/drossgate/Language
    FILES_MATCHING PATTERN "*.ini")

# The desktop launcher and its icons.
install(FILES ${DROSSGATE_RESOURCES}/desktop/drossgate.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${DROSSGATE_RESOURCES}/icons/app.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME drossgate.svg)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${DROSSGATE_RESOURCES}/icons/hicolor/${size}x${size}/drossgate.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The manual pages, compressed as Debian installs them when gzip is there.
# They are compressed when configuring, so installing after a build of any
# set of targets finds them; an edited page configures again.
find_program(DROSSGATE_GZIP gzip)
foreach(page drossgate.1 drossgate-ctl.1)
    set(source ${CMAKE_SOURCE_DIR}/docs/man/${page})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    if(DROSSGATE_GZIP)
        set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
        file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
        execute_process(COMMAND ${DROSSGATE_GZIP} -9 -n -c ${source}
            OUTPUT_FILE ${compressed} RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "gzip could not compress ${source}")
        endif()
        install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
        install(FILES ${source} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endforeach()
