# Writes the manual page at install time, for the prefix of the install that runs it: the
# page names the installed program folder and udev rule, which are /usr/... in the Debian
# package and <prefix>/... after `cmake --install --prefix <prefix>`.
#
# Set by the install(CODE) that includes it: TTT_MAN_TEMPLATE, TTT_MAN_WORK (a scratch
# folder in the build tree), PROJECT_VERSION, TTT_INSTALL_PROGRAM_DIR,
# TTT_INSTALL_UDEV_RULES_DIR (each relative to the prefix, or absolute), TTT_MAN_DIR and
# TTT_PACKAGE_PREFIX (the prefix inside the Debian package).
# CPack installs into a staging folder below the build tree with the package's prefix
# (TTT_PACKAGE_PREFIX) at its end; the page names where the package puts things.
set(named_prefix "${CMAKE_INSTALL_PREFIX}")
if(CMAKE_INSTALL_PREFIX MATCHES "/_CPack_Packages/")
  set(named_prefix "${TTT_PACKAGE_PREFIX}")
endif()
foreach(dir PROGRAM_DIR UDEV_RULES_DIR)
  if(IS_ABSOLUTE "${TTT_INSTALL_${dir}}")
    set(TTT_INSTALL_FULL_${dir} "${TTT_INSTALL_${dir}}")
  else()
    set(TTT_INSTALL_FULL_${dir} "${named_prefix}/${TTT_INSTALL_${dir}}")
  endif()
endforeach()
configure_file("${TTT_MAN_TEMPLATE}" "${TTT_MAN_WORK}/ToneTuningTool.1" @ONLY)
# Compressed without a time stamp, so two installs of the same sources give the same file.
execute_process(COMMAND gzip -9 -n -f "${TTT_MAN_WORK}/ToneTuningTool.1" RESULT_VARIABLE gzip_failed)
if(gzip_failed)
  message(FATAL_ERROR "gzip failed on the manual page")
endif()
if(IS_ABSOLUTE "${TTT_MAN_DIR}")
  set(man_dir "${TTT_MAN_DIR}/man1")
else()
  set(man_dir "${CMAKE_INSTALL_PREFIX}/${TTT_MAN_DIR}/man1")
endif()
# file(INSTALL) puts DESTDIR in front itself.
file(INSTALL "${TTT_MAN_WORK}/ToneTuningTool.1.gz" DESTINATION "${man_dir}"
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
