# The Debian package: cmake --build build --target package leaves
# build/package/udftolvane_<version>_<arch>.deb, with the modules and the
# driver in the folders of Debian's Firebird 3 packages, tolvane-exec, the
# declarations, the configuration file as a conffile, the manual page and the
# documents Debian asks for.
#
# Its files form the install component "deb", left out of a plain
# "cmake --install", which keeps its own layout (one folder per kind under
# the prefix). The package is built from "/", so every destination below is
# the file's place on the installed system, without the leading slash.

find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(TOLVANE_GZIP gzip REQUIRED)

set(TOLVANE_DEB_MULTIARCH ${CMAKE_LIBRARY_ARCHITECTURE})
if(NOT TOLVANE_DEB_MULTIARCH)
  set(TOLVANE_DEB_MULTIARCH x86_64-linux-gnu)
endif()
set(TOLVANE_DEB_FB_DIR usr/lib/${TOLVANE_DEB_MULTIARCH}/firebird/3.0)
set(TOLVANE_DEB_UDF_DIR /${TOLVANE_DEB_FB_DIR}/UDF)
set(TOLVANE_DEB_UDR_DIR /${TOLVANE_DEB_FB_DIR}/plugins/udr)
set(TOLVANE_DEB_SHARE_DIR /usr/share/udftolvane)
set(TOLVANE_DEB_DOC_DIR usr/share/doc/udftolvane)
set(TOLVANE_DEB_MAINTAINER "UDFTolvane developers <dev@tolvane.invalid>")
# The date of the newest changelog entry; the manual page carries it too.
set(TOLVANE_DEB_CHANGELOG_DATE "Mon, 07 Dec 2026 12:00:00 +0000")
set(TOLVANE_DEB_MAN_DATE 2026-12-07)

set(deb_out ${CMAKE_BINARY_DIR}/packaging)
set(deb_src ${PROJECT_SOURCE_DIR}/packaging)
file(MAKE_DIRECTORY ${deb_out}/control)
configure_file(${deb_src}/postinst.in ${deb_out}/control/postinst @ONLY)
configure_file(${deb_src}/conffiles ${deb_out}/control/conffiles COPYONLY)
configure_file(${deb_src}/triggers ${deb_out}/control/triggers COPYONLY)
configure_file(${deb_src}/changelog.in ${deb_out}/changelog @ONLY)

# The manual page comes from its Markdown source; gzip -n keeps the package
# the same from one build to the next (no time stamp inside).
add_custom_command(
  OUTPUT ${deb_out}/tolvane-exec.1.gz ${deb_out}/changelog.gz
  COMMAND Python3::Interpreter ${deb_src}/md2man.py ${PROJECT_SOURCE_DIR}/docs/tolvane-exec.md
          ${deb_out}/tolvane-exec.1 --version ${PROJECT_VERSION} --date ${TOLVANE_DEB_MAN_DATE}
  COMMAND ${TOLVANE_GZIP} -9nf ${deb_out}/tolvane-exec.1
  COMMAND ${TOLVANE_GZIP} -9nc ${deb_out}/changelog > ${deb_out}/changelog.gz
  DEPENDS ${deb_src}/md2man.py ${PROJECT_SOURCE_DIR}/docs/tolvane-exec.md ${deb_out}/changelog
  COMMENT "Manual page and changelog of the Debian package")
add_custom_target(tolvane_deb_documents ALL
  DEPENDS ${deb_out}/tolvane-exec.1.gz ${deb_out}/changelog.gz)

# tolvane-exec loads libfbdrv.so through its run path, whose first entry is
# the module folder of a plain install (bin/../lib/udftolvane). In the
# package that folder holds a link to the UDR folder's driver, so the one
# binary serves both layouts.
file(RELATIVE_PATH bin_to_module
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/udftolvane)
cmake_path(SET exec_driver_dir NORMALIZE "usr/bin/${bin_to_module}")
file(RELATIVE_PATH link_target /${exec_driver_dir} ${TOLVANE_DEB_UDR_DIR}/libfbdrv.so)
file(CREATE_LINK ${link_target} ${deb_out}/libfbdrv.so SYMBOLIC)

set(library_mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(in_deb COMPONENT deb EXCLUDE_FROM_ALL)
install(TARGETS udftolvane_udr fbdrv
  LIBRARY DESTINATION ${TOLVANE_DEB_FB_DIR}/plugins/udr PERMISSIONS ${library_mode} ${in_deb})
install(TARGETS UDFTolvane fbdrv
  LIBRARY DESTINATION ${TOLVANE_DEB_FB_DIR}/UDF PERMISSIONS ${library_mode} ${in_deb})
install(FILES ${deb_out}/libfbdrv.so DESTINATION ${exec_driver_dir} ${in_deb})
install(TARGETS tolvane-exec RUNTIME DESTINATION usr/bin ${in_deb})
# Stripped as Debian's own packages are (dh_strip's options): symbols the
# loader does not need, the compiler's .comment and .note go.
set(shared_objects
  ${TOLVANE_DEB_FB_DIR}/plugins/udr/$<TARGET_FILE_NAME:udftolvane_udr>
  ${TOLVANE_DEB_FB_DIR}/plugins/udr/$<TARGET_FILE_NAME:fbdrv>
  ${TOLVANE_DEB_FB_DIR}/UDF/$<TARGET_FILE_NAME:UDFTolvane>
  ${TOLVANE_DEB_FB_DIR}/UDF/$<TARGET_FILE_NAME:fbdrv>)
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  foreach(file ${shared_objects})
    execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
      --strip-unneeded \"\${root}/\${file}\" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
    \"\${root}/usr/bin/$<TARGET_FILE_NAME:tolvane-exec>\" COMMAND_ERROR_IS_FATAL ANY)
  " ${in_deb})
# Debian's own hardening of the shipped binaries: relocations read-only and
# bound at load, before the server runs any of the code.
foreach(shipped udftolvane_udr UDFTolvane fbdrv tolvane-exec)
  target_link_options(${shipped} PRIVATE -Wl,-z,relro -Wl,-z,now)
endforeach()
install(FILES sql/udftolvane.sql sql/udftolvane_udr.sql DESTINATION usr/share/udftolvane ${in_deb})
# The installer declares, grants and drops from the package's folders as from
# a build folder; the package's own postinst prints its command lines.
install(PROGRAMS scripts/install-udf.sh DESTINATION usr/share/udftolvane ${in_deb})
install(FILES scripts/lib.sh DESTINATION usr/share/udftolvane ${in_deb})
# Readable by root and the server's group only (postinst sets the group): the
# file may come to hold the module's password.
install(FILES scripts/udftolvane.conf.template DESTINATION etc/firebird/3.0
  RENAME udftolvane.conf PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ ${in_deb})
install(FILES ${deb_out}/tolvane-exec.1.gz DESTINATION usr/share/man/man1 ${in_deb})
install(FILES README.md ${deb_src}/copyright ${deb_out}/changelog.gz
  DESTINATION ${TOLVANE_DEB_DOC_DIR} ${in_deb})
# The pages the README links to, beside it.
install(DIRECTORY docs/ DESTINATION ${TOLVANE_DEB_DOC_DIR}/docs ${in_deb} FILES_MATCHING PATTERN "*.md")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME udftolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};deb;/")
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_CONTACT "${TOLVANE_DEB_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TOLVANE_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "run SQL scripts from inside a Firebird 3 server")
# The extended description; CPack indents it and marks the empty line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "EXECUTA_SQL, called from SQL, runs a script on a database of the server over
a connection of its own and returns ok or the text that ended the run; a
failed statement leaves a failure file. The procedure TOLVANE_RUN runs a
script under the caller's own login and returns one row per statement.

This package holds the UDR module and the legacy external-function module
with their Firebird driver, the declarations, the tool tolvane-exec and the
modules' configuration file. Nothing is declared in a database and the
server's configuration is not changed: the package says how after install.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The driver opens the client library when it runs, so no link records it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfbclient2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "firebird3.0-server")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${deb_out}/control/postinst ${deb_out}/control/conffiles ${deb_out}/control/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
