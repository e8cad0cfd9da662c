# The BIDS export: sessions recorded by the bundled DSU in-process (library) and by the real
# program under Xvfb (script), exported and checked by the BIDS validator, which a fixture
# installs from the npm registry into the build (scripts/install-bids-validator) and which
# runs without a network.
set(SOLVANE_BIDS_VALIDATOR ${CMAKE_BINARY_DIR}/bids-validator/node_modules/.bin/bids-validator)
add_test(NAME bids_validator_install
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/install-bids-validator
                 ${CMAKE_BINARY_DIR}/bids-validator)
set_tests_properties(bids_validator_install PROPERTIES TIMEOUT 900 FIXTURES_SETUP bids_validator)

add_executable(bids_export_test bids/BidsExportTest.cpp)
target_link_libraries(bids_export_test PRIVATE solvane_test_support solvane_bids solvane_dsu
                                               Qt6::Core GTest::gtest GTest::gtest_main)
target_compile_definitions(bids_export_test PRIVATE
    SOLVANE_BIDS_VALIDATOR="${SOLVANE_BIDS_VALIDATOR}"
    SOLVANE_BIDS_VALIDATE="${CMAKE_CURRENT_SOURCE_DIR}/bids/validate.sh")
solvane_warnings(bids_export_test)
set_target_properties(bids_export_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
gtest_discover_tests(bids_export_test DISCOVERY_MODE PRE_TEST
                     PROPERTIES FIXTURES_REQUIRED bids_validator TIMEOUT 300)

add_test(NAME bids_export_chain
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/bids/run-bids-export.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_BINARY_DIR}/bids-export-chain ${SOLVANE_BIDS_VALIDATOR})
set_tests_properties(bids_export_chain PROPERTIES TIMEOUT 300 LABELS smoke
                     FIXTURES_REQUIRED bids_validator
                     ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
