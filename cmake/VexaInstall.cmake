# Installing like any Linux program: the executables and the files they read beside them in one
# private folder (the program finds its skin and pages next to its own image), the command names on
# the PATH as links into it, a desktop entry and an icon where desktops look. cpack -G DEB packs the
# same tree into a Debian package whose dependencies dpkg-shlibdeps works out.
include(GNUInstallDirs)

set(VEXA_INSTALL_PROGRAM_DIR "lib/vexa-assistant")
set(VEXA_INSTALL_PROGRAMS vexa-assistant vexa-cli)
if(TARGET vexa-crashreport)
    list(APPEND VEXA_INSTALL_PROGRAMS vexa-crashreport)
endif()

install(TARGETS ${VEXA_INSTALL_PROGRAMS} RUNTIME DESTINATION "${VEXA_INSTALL_PROGRAM_DIR}")
# Debug information is most of the size; the symbol table stays, so crash reports still name functions.
foreach(program ${VEXA_INSTALL_PROGRAMS})
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-debug
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VEXA_INSTALL_PROGRAM_DIR}/${program}\")")
endforeach()
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/skin/" DESTINATION "${VEXA_INSTALL_PROGRAM_DIR}/skin")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/pages/" DESTINATION "${VEXA_INSTALL_PROGRAM_DIR}/pages")

# Relative links, so the tree works under any prefix and inside the package.
set(VEXA_LINK_DIR "${CMAKE_BINARY_DIR}/install-links")
file(MAKE_DIRECTORY "${VEXA_LINK_DIR}")
foreach(program vexa-assistant vexa-cli)
    file(CREATE_LINK "../${VEXA_INSTALL_PROGRAM_DIR}/${program}" "${VEXA_LINK_DIR}/${program}" SYMBOLIC)
    install(FILES "${VEXA_LINK_DIR}/${program}" DESTINATION "${CMAKE_INSTALL_BINDIR}")
endforeach()

install(FILES "${PROJECT_SOURCE_DIR}/resources/desktop/vexa-assistant.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${PROJECT_SOURCE_DIR}/resources/skin/images/logo.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps" RENAME vexa-assistant.svg)

set(CPACK_PACKAGE_NAME "vexa-assistant")
set(CPACK_PACKAGE_VENDOR "VEXA")
set(CPACK_PACKAGE_CONTACT "VEXA <support@vexa.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop companion for VEXA Android phones")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: platform plugins, SVG, fonts for the
# Chinese texts, Qt's own translations, and adb for real phones.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adb")
set(CPACK_GENERATOR "DEB")
include(CPack)
