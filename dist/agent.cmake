# Installation of the agent that pushes an appliance's figures: Debian's
# Prometheus in agent mode, its configuration and its unit (not enabled).
set(PROMETHEUS /usr/bin/prometheus CACHE FILEPATH "The Prometheus program the agent runs")

# Like the other units, the unit names the prefix actually installed to: its
# configuration directory is /etc for the prefixes / and /usr, as
# GNUInstallDirs has it, else the prefix's etc.
set(agent_unit_in ${CMAKE_CURRENT_SOURCE_DIR}/byteloom-agent.service.in)
set(agent_conf_in ${CMAKE_CURRENT_SOURCE_DIR}/prometheus/agent.yml)
install(CODE "
  set(unitdir \"${SYSTEMD_UNITDIR}\")
  if(NOT IS_ABSOLUTE \"\${unitdir}\")
    set(unitdir \"\${CMAKE_INSTALL_PREFIX}/\${unitdir}\")
  endif()
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\" OR CMAKE_INSTALL_PREFIX STREQUAL \"/\")
    set(sysconf /etc)
  else()
    set(sysconf \"\${CMAKE_INSTALL_PREFIX}/etc\")
  endif()
  set(PROMETHEUS \"${PROMETHEUS}\")
  set(BYTELOOM_AGENT_CONF \"\${sysconf}/byteloom/agent.yml\")
  set(BYTELOOM_AGENT_SECRET \"\${sysconf}/byteloom/agent.secret\")
  set(unit \"\$ENV{DESTDIR}\${unitdir}/byteloom-agent.service\")
  message(STATUS \"Installing: \${unit}\")
  configure_file(\"${agent_unit_in}\" \"\${unit}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${unit}\")
  file(INSTALL \"${agent_conf_in}\" DESTINATION \"\${sysconf}/byteloom\")
")
