# Installation of the agent that pushes an appliance's figures: Debian's
# Prometheus in agent mode, its configuration and its unit (not enabled).
set(PROMETHEUS /usr/bin/prometheus CACHE FILEPATH "The Prometheus program the agent runs")
set(BYTELOOM_AGENT_CONF ${CMAKE_INSTALL_FULL_SYSCONFDIR}/byteloom/agent.yml)
set(BYTELOOM_AGENT_SECRET ${CMAKE_INSTALL_FULL_SYSCONFDIR}/byteloom/agent.secret)
configure_file(byteloom-agent.service.in ${CMAKE_CURRENT_BINARY_DIR}/byteloom-agent.service @ONLY)

install(FILES ${CMAKE_CURRENT_BINARY_DIR}/byteloom-agent.service DESTINATION ${SYSTEMD_UNITDIR})
install(FILES prometheus/agent.yml DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/byteloom)
