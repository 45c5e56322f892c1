# Install rules and Debian packages. Two components, one package each:
#   tools  -> rebound-tools: reboundcli, reboundsrv and rebound_exporter (each with its systemd
#             service), rebounddns; no Qt
#   window -> rebound: the window, its icon and desktop entry; depends on rebound-tools
# `cmake --install` installs both; `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr makes the packages (scripts/package.sh does both steps).
include(GNUInstallDirs)

set(REBOUND_PACKAGE_MAINTAINER "Rebound maintainers <maintainers@rebound.example>"
    CACHE STRING "Maintainer field of the Debian packages")
set(REBOUND_TOOLS_PACKAGE rebound-tools)
set(REBOUND_WINDOW_PACKAGE rebound)
set(REBOUND_ENVIRONMENT_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/reboundsrv)
set(REBOUND_EXPORTER_ENVIRONMENT_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/rebound_exporter)
set(REBOUND_EXPORTER_CONFIG ${CMAKE_INSTALL_FULL_SYSCONFDIR}/rebound_exporter.yml)
set(packaging_src ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)

# Where systemd looks for the unit: the system's own directory for a /usr install, else the
# prefix's lib/systemd/system (systemd also reads /usr/local/lib/systemd/system).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_get_variable(systemd_unit_dir systemd systemdsystemunitdir)
  endif()
  if(NOT systemd_unit_dir)
    set(systemd_unit_dir /lib/systemd/system)
  endif()
else()
  set(systemd_unit_dir ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
set(REBOUND_SYSTEMD_UNIT_DIR ${systemd_unit_dir} CACHE PATH "Directory of reboundsrv.service")

# Man pages, changelogs and longer documents are installed compressed, without a time stamp in
# the gzip header so that two builds give the same package.
set(compressed_files)
function(rebound_compressed source name)
  set(out ${packaging_out}/${name}.gz)
  add_custom_command(
    OUTPUT ${out}
    COMMAND gzip -9 -n -c ${source} > ${out}
    DEPENDS ${source}
    VERBATIM)
  set(compressed_files ${compressed_files} ${out} PARENT_SCOPE)
endfunction()

# A relative symbolic link, installed as a link: `link` (an install path under the prefix)
# points at `target` (another one).
function(rebound_install_link link target component)
  get_filename_component(link_dir ${link} DIRECTORY)
  get_filename_component(link_name ${link} NAME)
  file(RELATIVE_PATH relative ${CMAKE_INSTALL_PREFIX}/${link_dir} ${CMAKE_INSTALL_PREFIX}/${target})
  set(staged ${packaging_out}/links/${component}/${link_name})
  file(MAKE_DIRECTORY ${packaging_out}/links/${component})
  file(CREATE_LINK ${relative} ${staged} SYMBOLIC)
  install(FILES ${staged} DESTINATION ${link_dir} COMPONENT ${component})
endfunction()

# Every package's /usr/share/doc/<package>: copyright, changelog, and `docs` compressed.
function(rebound_install_package_docs package component)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
  install(FILES ${packaging_src}/debian/copyright DESTINATION ${doc_dir} COMPONENT ${component})
  install(FILES ${packaging_out}/changelog.gz DESTINATION ${doc_dir} COMPONENT ${component})
  foreach(doc ${ARGN})
    get_filename_component(name ${doc} NAME)
    install(FILES ${packaging_out}/${name}.gz DESTINATION ${doc_dir} COMPONENT ${component})
  endforeach()
endfunction()

rebound_compressed(${packaging_src}/debian/changelog changelog)

# User documents shipped with the tools, each listed here (add docs/json.md to this list).
set(REBOUND_PACKAGE_DOCS README.md)
foreach(doc ${REBOUND_PACKAGE_DOCS})
  get_filename_component(name ${doc} NAME)
  rebound_compressed(${PROJECT_SOURCE_DIR}/${doc} ${name})
endforeach()

# The command-line programs: binary, man page and bash completion each.
set(tool_programs reboundcli reboundsrv rebounddns rebound_exporter)
install(TARGETS ${tool_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
foreach(program ${tool_programs})
  rebound_compressed(${PROJECT_SOURCE_DIR}/docs/man/${program}.1 ${program}.1)
  install(FILES ${packaging_out}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT tools)
  install(FILES ${packaging_src}/completions/${program}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT tools)
endforeach()
rebound_install_package_docs(${REBOUND_TOOLS_PACKAGE} tools ${REBOUND_PACKAGE_DOCS})

# The responder as a service: installed, not enabled; its address and port in a conffile.
configure_file(${packaging_src}/reboundsrv.service.in ${packaging_out}/reboundsrv.service @ONLY)
configure_file(${packaging_src}/debian/conffiles.in ${packaging_out}/debian/conffiles @ONLY)
install(FILES ${packaging_out}/reboundsrv.service DESTINATION ${REBOUND_SYSTEMD_UNIT_DIR}
        COMPONENT tools)
install(FILES ${packaging_src}/reboundsrv.default DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default
        RENAME reboundsrv COMPONENT tools)
# The exporter as a service, the same way; its targets in a conffile of their own (none at first).
configure_file(${packaging_src}/rebound_exporter.service.in ${packaging_out}/rebound_exporter.service
               @ONLY)
install(FILES ${packaging_out}/rebound_exporter.service DESTINATION ${REBOUND_SYSTEMD_UNIT_DIR}
        COMPONENT tools)
install(FILES ${packaging_src}/rebound_exporter.default
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default RENAME rebound_exporter COMPONENT tools)
install(FILES ${packaging_src}/rebound_exporter.yml DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}
        COMPONENT tools)

# The window loads its icon from the directory of its executable and runs the reboundcli
# beside it or on the PATH. So the program lives in its own directory with a link to the
# icon, and the command on the PATH is a link to it.
if(TARGET rebound)
  set(window_dir ${CMAKE_INSTALL_LIBEXECDIR}/rebound)
  set(icon_file ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/16x16/apps/rebound.png)
  install(TARGETS rebound RUNTIME DESTINATION ${window_dir} COMPONENT window)
  rebound_install_link(${CMAKE_INSTALL_BINDIR}/rebound ${window_dir}/rebound window)
  install(FILES ${PROJECT_SOURCE_DIR}/app/tachy-16x16.png DESTINATION
          ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/16x16/apps RENAME rebound.png COMPONENT window)
  rebound_install_link(${window_dir}/tachy-16x16.png ${icon_file} window)
  install(FILES ${packaging_src}/rebound.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT window)
  rebound_compressed(${PROJECT_SOURCE_DIR}/docs/man/rebound.1 rebound.1)
  install(FILES ${packaging_out}/rebound.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT window)
  rebound_install_package_docs(${REBOUND_WINDOW_PACKAGE} window)
endif()

add_custom_target(rebound_packaging_files ALL DEPENDS ${compressed_files})

# Debian packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rebound)
set(CPACK_PACKAGE_VENDOR "Rebound")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${REBOUND_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${packaging_out}/cpack_config.cmake)
configure_file(${PROJECT_SOURCE_DIR}/cmake/cpack_config.cmake.in ${CPACK_PROJECT_CONFIG_FILE} @ONLY)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${REBOUND_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE rebound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${REBOUND_TOOLS_PACKAGE})
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "UDP round-trip measurement: client, echo responder and DNS stub resolver
reboundcli sends UDP probes to an echo responder, waits for each echo and
prints one line per event with the round-trip time of every probe, then the
sent and received counts. Each probe asks for an echo of a chosen size, so the
two directions can carry different amounts of data.
.
reboundsrv is the echo responder; a sandboxed systemd service for it is
installed disabled. rebound_exporter probes many responders continuously and
serves loss and round-trip histograms to Prometheus; its sandboxed service is
installed disabled too. rebounddns sends one DNS question and prints the
decoded reply.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA
    ${packaging_out}/debian/conffiles ${packaging_src}/debian/postinst
    ${packaging_src}/debian/prerm ${packaging_src}/debian/postrm)

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME ${REBOUND_WINDOW_PACKAGE})
set(CPACK_COMPONENT_WINDOW_DEPENDS tools)
set(CPACK_COMPONENT_WINDOW_DESCRIPTION
    "UDP round-trip measurement window
Rebound measures the round trip of UDP datagrams between this machine and an
echo responder (reboundsrv) and draws a chart of the round-trip time of every
probe, with the received and lost percentages. A measurement runs in the
window itself or through reboundcli without blocking the window.")

if(TARGET rebound)
  set(CPACK_COMPONENTS_ALL tools window)
else()
  set(CPACK_COMPONENTS_ALL tools)
endif()
include(CPack)
