# What `cmake --install` puts where, and the Debian package built from it with `cpack -G DEB`.
# The executable's own rule sits with its target in src/app; this file adds the desktop
# integration around it.

include(GNUInstallDirs)

set(WRENFOLD_RESOURCES ${PROJECT_SOURCE_DIR}/resources)
set(WRENFOLD_GENERATED ${PROJECT_BINARY_DIR}/generated)  # see src/app/CMakeLists.txt

install(FILES ${WRENFOLD_RESOURCES}/wrenfold.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# What the software centres list (GNOME Software, Discover).
install(FILES ${WRENFOLD_RESOURCES}/org.wrenfold.wrenfold.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
if(NOT WRENFOLD_FUZZ)
  # Made at build time by src/app's wrenfold-make-resources.
  install(DIRECTORY ${WRENFOLD_GENERATED}/icons/hicolor
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  install(FILES ${WRENFOLD_GENERATED}/wrenfold.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${WRENFOLD_GENERATED}/completion/wrenfold
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${WRENFOLD_GENERATED}/completion/_wrenfold
          DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
endif()
# Not in /etc/xdg/autostart: starting with the session is the user's choice, made in the
# settings window, which copies this entry to ~/.config/autostart.
install(FILES ${WRENFOLD_RESOURCES}/wrenfold-autostart.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/wrenfold/autostart
        RENAME wrenfold.desktop)
# The licence travels with every copy; Debian looks for it under this name.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/wrenfold
        RENAME copyright)

set(WRENFOLD_PACKAGE_MAINTAINER "The Wrenfold developers <maintainers@users.noreply.c-seed-1b8ab1bf.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wrenfold)
set(CPACK_PACKAGE_VENDOR "The Wrenfold developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "system-wide writing assistant for the Linux desktop")
# Debian wants description lines under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Wrenfold reads the text field you are typing in, and its window, through\n"
    "the accessibility bus, asks the model service you configured\n"
    "(OpenAI-compatible, OpenRouter, Anthropic or Gemini) for a few replies or\n"
    "rewrites, and inserts the one you choose. It lives in the system tray and\n"
    "is called up with a double tap of Alt, a shortcut of your own, or the\n"
    "wrenfold trigger command. Its settings and data stay on the machine.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${WRENFOLD_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Needed at run time but not linked, so dpkg-shlibdeps cannot see them: the accessibility bus
# that context reading uses, and the certificates HTTPS checks against.
# Chinese text needs a CJK font; the keyring keeps the API key out of config.json.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "at-spi2-core, ca-certificates, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-keyring")

include(CPack)
