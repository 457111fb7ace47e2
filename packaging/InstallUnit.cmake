# Puts the service's system unit in place at install time, when the prefix is the one the files
# go to (cpack stages the package with /usr), with the installed program and media folder named
# in it. Set by install(CODE) before this runs: SINTONEX_UNIT_SOURCE, SINTONEX_INSTALL_LIBDIR,
# SINTONEX_INSTALL_DATADIR, SINTONEX_INSTALL_DOCDIR (relative to the prefix).
set(SERVICE_BIN "${CMAKE_INSTALL_PREFIX}/${SINTONEX_INSTALL_LIBDIR}/sintonex-servicio")
set(MEDIA_DIR "${CMAKE_INSTALL_PREFIX}/${SINTONEX_INSTALL_DATADIR}/media")
set(DOC_DIR "${CMAKE_INSTALL_PREFIX}/${SINTONEX_INSTALL_DOCDIR}")
set(unit_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
file(MAKE_DIRECTORY "${unit_dir}")
configure_file("${SINTONEX_UNIT_SOURCE}" "${unit_dir}/sintonex-servicio.service" @ONLY)
file(CHMOD "${unit_dir}/sintonex-servicio.service" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
message(STATUS "Installing: ${unit_dir}/sintonex-servicio.service")
