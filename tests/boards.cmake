# The bundled DSU's serial boards (OpenBCI Cyton, OpenEEG P2), over boards emulated on a
# pseudo-terminal: the signal through scaling, resampling and gain, the port's settings, what a
# link does to the stream, what never becomes EEG, the end of a run when the board goes, and
# the faults at the start.
find_package(Threads REQUIRED)
add_library(board_emulator STATIC boards/BoardEmulator.cpp)
target_include_directories(board_emulator PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/boards)
target_link_libraries(board_emulator PUBLIC util Threads::Threads)
solvane_warnings(board_emulator)

solvane_core_test(dsu_board_test boards/BoardTest.cpp)
target_link_libraries(dsu_board_test PRIVATE solvane_dsu board_emulator)

# The real program under Xvfb on the emulated Cyton, which hangs up after 8 s: the program
# stops the run by itself and the session file holds what was delivered.
add_executable(cyton_board boards/cyton_board.cpp)
target_link_libraries(cyton_board PRIVATE board_emulator)
set_target_properties(cyton_board PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
solvane_warnings(cyton_board)
add_test(NAME dsu_cyton_smoke
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/boards/run-cyton-smoke.sh $<TARGET_FILE:solvane>
                 $<TARGET_FILE:kardemo> $<TARGET_FILE:x11driver> $<TARGET_FILE:cyton_board>
                 ${CMAKE_BINARY_DIR}/cyton-smoke)
set_tests_properties(dsu_cyton_smoke PROPERTIES TIMEOUT 120 LABELS smoke ENVIRONMENT
                     "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
