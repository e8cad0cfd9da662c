# The whole chain from outside: the real program records on the bundled DSU under Xvfb and
# solvane-view reports each session it kept; in the C locale, under a decimal comma, and with
# two runs in one program.
foreach(mode IN ITEMS c comma two-runs)
    add_test(NAME whole_chain_${mode}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/chain/run-whole-chain.sh ${CMAKE_BINARY_DIR}
                     ${CMAKE_BINARY_DIR}/whole-chain-${mode} ${mode})
    set_tests_properties(whole_chain_${mode} PROPERTIES TIMEOUT 180 LABELS smoke
                         ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
endforeach()
