# Fails, naming what is missing, when the e2e suite cannot run: node, or the SDK that
# npm ci puts into node_modules.
if(NOT NODE)
  message(FATAL_ERROR "e2e tests cannot run: node not found (scripts/setup.sh --tests installs it)")
endif()
if(NOT EXISTS "${SUITE}/node_modules/@modelcontextprotocol/sdk/package.json")
  message(FATAL_ERROR "e2e tests cannot run: no node_modules in ${SUITE} "
                      "(run npm ci there; scripts/setup.sh --tests does)")
endif()
