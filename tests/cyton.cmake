# The bundled DSU's OpenBCI Cyton source, over a board emulated on a pseudo-terminal: the
# signal through scaling, resampling and gain, the port's settings, what a radio link does to
# the stream, the end of a run when the dongle goes, and the faults at the start.
find_package(Threads REQUIRED)
add_library(cyton_emulator STATIC cyton/CytonEmulator.cpp)
target_include_directories(cyton_emulator PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/cyton)
target_link_libraries(cyton_emulator PUBLIC util Threads::Threads)
solvane_warnings(cyton_emulator)

solvane_core_test(dsu_cyton_test cyton/CytonTest.cpp)
target_link_libraries(dsu_cyton_test PRIVATE solvane_dsu cyton_emulator)

# Nothing allocated per poll; replaces the global allocation functions, so it has an
# executable of its own.
solvane_core_test(dsu_cyton_allocation_test cyton/CytonAllocationTest.cpp)
target_link_libraries(dsu_cyton_allocation_test PRIVATE solvane_dsu cyton_emulator)

# The real program under Xvfb on the emulated board, which hangs up after 8 s: the program
# stops the run by itself and the session file holds what was delivered.
add_executable(cyton_board cyton/cyton_board.cpp)
target_link_libraries(cyton_board PRIVATE cyton_emulator)
set_target_properties(cyton_board PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
solvane_warnings(cyton_board)
add_test(NAME dsu_cyton_smoke
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cyton/run-cyton-smoke.sh $<TARGET_FILE:solvane>
                 $<TARGET_FILE:kardemo> $<TARGET_FILE:x11driver> $<TARGET_FILE:cyton_board>
                 ${CMAKE_BINARY_DIR}/cyton-smoke)
set_tests_properties(dsu_cyton_smoke PROPERTIES TIMEOUT 120 LABELS smoke ENVIRONMENT
                     "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
