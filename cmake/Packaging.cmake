# Installation of KarvoTemp and its tools under /usr, and the Debian package
# made from it with CPack (scripts/package): the programs, the desktop entry,
# the icon, the AppStream metadata, the manual pages, the changelog and the
# copyright file. The sources of everything but the programs are in
# packaging/. Linux only: the Windows package is described in README.md.
if(NOT UNIX OR APPLE OR CMAKE_CROSSCOMPILING)
  return()
endif()

include(GNUInstallDirs)

set(KARVO_PACKAGE_MAINTAINER "TalvikAS <karvotemp@talvikas.com>" CACHE STRING "The Debian package's maintainer, Name <address>")
set(KARVO_HOMEPAGE "https://www.talvikas.com/karvotemp" CACHE STRING "The product's web page (the package, the AppStream metadata and its screenshot below it)")

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(staged ${PROJECT_BINARY_DIR}/packaging)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/karvotemp)

foreach(program KarvoTemp karvo-probe karvo-sim karvo-reg)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET KarvoTemp)
  install(FILES ${packaging}/${KARVO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${packaging}/icons/${KARVO_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${packaging}/icons/${KARVO_APP_ID}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
  configure_file(${packaging}/${KARVO_APP_ID}.metainfo.xml.in ${staged}/${KARVO_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${staged}/${KARVO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The manual pages and the changelog are installed compressed (gzip -9n:
# no name or time stamp inside, the same bytes from every build).
set(compressed)
function(karvo_gzip source target)
  add_custom_command(OUTPUT ${target}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${source} ${target}
    DEPENDS ${source} VERBATIM)
  set(compressed ${compressed} ${target} PARENT_SCOPE)
endfunction()

foreach(page KarvoTemp karvo-probe karvo-sim karvo-reg)
  if(TARGET ${page})
    configure_file(${packaging}/man/${page}.1.in ${staged}/${page}.1 @ONLY)
    karvo_gzip(${staged}/${page}.1 ${staged}/${page}.1.gz)
    install(FILES ${staged}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
configure_file(${packaging}/changelog.in ${staged}/changelog @ONLY)
karvo_gzip(${staged}/changelog ${staged}/changelog.gz)
install(FILES ${staged}/changelog.gz ${packaging}/copyright DESTINATION ${docdir})
add_custom_target(karvo_packaging_files ALL DEPENDS ${compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME karvotemp)
set(CPACK_PACKAGE_VENDOR TalvikAS)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KARVO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator program for a PID-controlled electric furnace")
# The long description, in lines of the control file (under 80 columns).
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "KarvoTemp polls the furnace's temperature controller over a serial\n"
  "line (Modbus RTU), logs and plots the values, judges whether the\n"
  "furnace is stable and runs segment programs of setpoint, ramp rate and\n"
  "dwell by itself; every run is journaled to disk.\n"
  "\n"
  "The package also holds karvo-probe (the controller from the command\n"
  "line), karvo-sim (a simulated controller on a pseudo-terminal) and\n"
  "karvo-reg (the per-user store other programs use to ask for a hold).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # karvotemp_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KARVO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
