# The Debian package of the Linux build, made by CPack's DEB generator:
#
#   cmake --build --preset native --target package
#     -> build/native/zep_<version>_<arch>.deb
#
# The service reads ZEP.conf and its message files and runs its scripts
# from its own directory, /usr/lib/zep, which therefore holds the programs
# and the library, and links to what lies where Debian keeps it: the files
# a user edits in /etc/zep (conffiles, so that dpkg keeps the user's edits
# on upgrades and removes them only on purge) and the message files in
# /usr/share/zep. The systemd unit is the one "zeps -setup" writes, made
# by zeps_unit_file from the same code, with the package's additions in a
# drop-in (package.conf: the log in /var/log/zep, the pending-shutdown
# marker in /run/zep). The maintainer scripts enable and start the unit
# where systemd runs and only enable it where it does not.

set(zep_deb_src ${PROJECT_SOURCE_DIR}/installer/debian)
set(zep_deb_out ${CMAKE_BINARY_DIR}/debian)
set(zep_deb_dir lib/zep)  # below /usr
set(zep_deb_etc /etc/zep)
file(MAKE_DIRECTORY ${zep_deb_out}/links)

# --- what goes where -----------------------------------------------------------

install(TARGETS zeps zepe RUNTIME DESTINATION ${zep_deb_dir})
install(TARGETS serlink32 LIBRARY DESTINATION ${zep_deb_dir})

set(zep_deb_messages "")
foreach(base level category status event meter)
  list(APPEND zep_deb_messages ${base}_en.msg ${base}.msg)
endforeach()
# Within /usr the links are relative, into /etc absolute (Debian policy).
foreach(name ${zep_deb_messages})
  install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name} DESTINATION share/zep)
  file(CREATE_LINK ../../share/zep/${name} ${zep_deb_out}/links/${name} SYMBOLIC)
endforeach()

file(GLOB zep_deb_scripts RELATIVE ${PROJECT_SOURCE_DIR}/dist/scripts
     CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/dist/scripts/*.sh)
set(zep_deb_editable ZEP.conf ${zep_deb_scripts})
install(FILES ${PROJECT_SOURCE_DIR}/dist/ZEP.conf DESTINATION ${zep_deb_etc})
# The scripts keep their modes: executable, but zeplib.sh, which they source.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/dist/scripts/ DESTINATION ${zep_deb_etc}
        USE_SOURCE_PERMISSIONS FILES_MATCHING PATTERN "*.sh")
install(FILES ${zep_deb_src}/logrotate DESTINATION /etc/logrotate.d RENAME zep)
set(zep_deb_conffiles "")
foreach(name ${zep_deb_editable})
  file(CREATE_LINK ${zep_deb_etc}/${name} ${zep_deb_out}/links/${name} SYMBOLIC)
  string(APPEND zep_deb_conffiles "${zep_deb_etc}/${name}\n")
endforeach()
string(APPEND zep_deb_conffiles "/etc/logrotate.d/zep\n")
file(WRITE ${zep_deb_out}/conffiles "${zep_deb_conffiles}")

# The links are installed as links.
foreach(name ${zep_deb_messages} ${zep_deb_editable})
  install(FILES ${zep_deb_out}/links/${name} DESTINATION ${zep_deb_dir})
endforeach()

add_executable(zeps_unit_file ${zep_deb_src}/unit_file_main.cpp)
target_link_libraries(zeps_unit_file PRIVATE zeps_service zep_warnings)
add_custom_command(OUTPUT ${zep_deb_out}/zeps.service
  COMMAND zeps_unit_file ${zep_deb_out}/zeps.service
  DEPENDS zeps_unit_file
  COMMENT "Writing the package's zeps.service"
  VERBATIM)

# Debian's documentation files: the copyright and the changelog of a
# native package, compressed without a time stamp.
set(ZEP_DEB_VERSION ${PROJECT_VERSION})
set(ZEP_DEB_MAINTAINER "ZEP developers <zep@example.org>")
string(TIMESTAMP ZEP_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${zep_deb_src}/changelog.in ${zep_deb_out}/changelog @ONLY)
add_custom_command(OUTPUT ${zep_deb_out}/changelog.gz
  COMMAND gzip -9nf -k ${zep_deb_out}/changelog
  DEPENDS ${zep_deb_out}/changelog
  VERBATIM)
add_custom_target(zep_deb_files ALL
  DEPENDS ${zep_deb_out}/zeps.service ${zep_deb_out}/changelog.gz)

install(FILES ${zep_deb_out}/zeps.service DESTINATION lib/systemd/system)
install(FILES ${zep_deb_src}/package.conf
        DESTINATION lib/systemd/system/zeps.service.d)
install(FILES ${zep_deb_src}/copyright ${zep_deb_out}/changelog.gz
        DESTINATION share/doc/zep)

# --- the package --------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zep)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZEP_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "UPS monitoring service for a UPS on a serial port")
# The synopsis is the summary above; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "ZEP watches one uninterruptible power supply on a serial port: it finds
the port and speed at which the UPS answers, speaks its text and binary
protocols, turns what the UPS reports into power events and runs the
shell scripts in /etc/zep for them (a shutdown after a configured wait on
a mains failure, an emergency on low battery, recovery, metering). When
the computer shuts down during a mains failure it tells the UPS to switch
off and restart later.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${zep_deb_out}/conffiles ${zep_deb_src}/postinst ${zep_deb_src}/prerm
    ${zep_deb_src}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
