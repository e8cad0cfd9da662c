# Nothing allocated per packet: GetP3Data on every source of the bundled DSU (synthetic EEG, a
# recording, an LSL stream from the stand-in liblsl, the emulated boards), and the program's
# analysis per packet and per block. Replaces the global allocation functions, so it has an
# executable of its own.
solvane_core_test(allocation_test allocation/AllocationTest.cpp dsu/DsuSimSupport.cpp)
target_link_libraries(allocation_test PRIVATE solvane_dsu board_emulator)
add_dependencies(allocation_test lsl_standin_complete)
target_compile_definitions(allocation_test PRIVATE
    SOLVANE_EEG_RECORDINGS="${PROJECT_SOURCE_DIR}/data/eeg"
    SOLVANE_LSL_STANDIN="$<TARGET_FILE:lsl_standin_complete>")
