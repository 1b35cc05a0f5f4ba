# Installation of byteloom-exporter: the program beside byteloom-report, its
# systemd unit and its man page.
install(TARGETS byteloom-exporter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Like byteloom.service, the unit names the directory actually installed to.
set(exporter_unit_in ${CMAKE_CURRENT_SOURCE_DIR}/byteloom-exporter.service.in)
install(CODE "
  set(unitdir \"${SYSTEMD_UNITDIR}\")
  if(NOT IS_ABSOLUTE \"\${unitdir}\")
    set(unitdir \"\${CMAKE_INSTALL_PREFIX}/\${unitdir}\")
  endif()
  set(BYTELOOM_BIN \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(unit \"\$ENV{DESTDIR}\${unitdir}/byteloom-exporter.service\")
  message(STATUS \"Installing: \${unit}\")
  configure_file(\"${exporter_unit_in}\" \"\${unit}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${unit}\")
")

set(exporter_page ${CMAKE_CURRENT_BINARY_DIR}/man/byteloom-exporter.8.gz)
add_custom_command(OUTPUT ${exporter_page}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
  COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/man/byteloom-exporter.8 > ${exporter_page}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/byteloom-exporter.8 VERBATIM)
add_custom_target(byteloom-exporter-manpage ALL DEPENDS ${exporter_page})
install(FILES ${exporter_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)

# The rules and the dashboard for the central Prometheus and Grafana.
install(FILES prometheus/byteloom-rules.yml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/byteloom-exporter/prometheus)
install(FILES grafana/byteloom-fleet.json
  DESTINATION ${CMAKE_INSTALL_DATADIR}/byteloom-exporter/grafana)
