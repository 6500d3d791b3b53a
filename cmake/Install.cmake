# `cmake --install`: the installed layout, which the .deb packs as it is
# (scripts/build-deb.sh). Off Windows only: the Windows folder and the MSI are
# made by scripts/build-windows.sh.
#
#   bin/contardc                               the program
#   <libdir>/contardc/libcontardc_window.so    the window module, private to the program
#   share/man/man1/contardc.1                  the manual page
#   share/applications/contardc.desktop        the menu entry
#   share/icons/hicolor/48x48/apps/contardc.png
#   share/doc/contardc/examples/               a systemd service and timer for the daily run
#
# The installed program finds its module through CONTARDC_WINDOW_MODULE_DIR,
# compiled in (app/CMakeLists.txt). It must name the folder the module is
# installed to, or the installed program would start without a window. A value
# that names another folder stops the configure; an empty one (the build
# tree's program, with the module beside it) stops only an install.
if(WIN32 OR CONTARDC_CORE_ONLY)
  return()
endif()

include(GNUInstallDirs)

set(contardc_module_install_dir ${CMAKE_INSTALL_LIBDIR}/contardc)
file(RELATIVE_PATH contardc_module_dir_expected ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/contardc)
# The same folder, written absolute or with a trailing slash, is the same.
set(contardc_module_dir_given "${CONTARDC_WINDOW_MODULE_DIR}")
string(REGEX REPLACE "(.)/+$" "\\1" contardc_module_dir_given "${contardc_module_dir_given}")
if(NOT contardc_module_dir_given STREQUAL ""
   AND NOT contardc_module_dir_given STREQUAL contardc_module_dir_expected
   AND NOT contardc_module_dir_given STREQUAL "${CMAKE_INSTALL_FULL_LIBDIR}/contardc")
  message(FATAL_ERROR
    "CONTARDC_WINDOW_MODULE_DIR is \"${CONTARDC_WINDOW_MODULE_DIR}\", but the window module is installed to "
    "${CMAKE_INSTALL_FULL_LIBDIR}/contardc, which is \"${contardc_module_dir_expected}\" from the program's "
    "folder ${CMAKE_INSTALL_FULL_BINDIR}: the installed program would not find its window. Configure with "
    "-DCONTARDC_WINDOW_MODULE_DIR=${contardc_module_dir_expected}, or leave it empty for a build that is not "
    "installed.")
endif()
if(contardc_module_dir_given STREQUAL "")
  # First among the install rules, so that nothing is installed.
  install(CODE "message(FATAL_ERROR \"This build looks for its window module beside the program, but an install \"
    \"puts the module in ${CMAKE_INSTALL_FULL_LIBDIR}/contardc. Configure with \"
    \"-DCONTARDC_WINDOW_MODULE_DIR=${contardc_module_dir_expected} to install it.\")")
endif()

# Qt's project setup gives installed binaries a run path of $ORIGIN and the
# library folder; Debian's Qt is in the system's library folder, and the
# module is loaded by its full path, so neither needs one.
set_target_properties(contardc contardc_window PROPERTIES INSTALL_RPATH "")
install(TARGETS contardc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A module nobody executes: read-only, as Debian ships shared objects.
install(TARGETS contardc_window LIBRARY DESTINATION ${contardc_module_install_dir}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/contardc.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/contardc.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/icon/contardc.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/contardc.service
              ${PROJECT_SOURCE_DIR}/packaging/debian/contardc.timer
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
