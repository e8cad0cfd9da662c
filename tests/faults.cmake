# The program on a device library that misbehaves on purpose (tests/faults/FaultyKardemo.cpp):
# the library itself, a copy of it that lacks ListActiveCOMPorts, and the tests that load them the
# way the program does.
function(solvane_faulty_kardemo name)
    add_library(${name} SHARED ${CMAKE_CURRENT_LIST_DIR}/faults/FaultyKardemo.cpp)
    target_link_libraries(${name} PRIVATE solvane_profile)
    set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden LIBRARY_OUTPUT_DIRECTORY
                                             ${CMAKE_BINARY_DIR}/tests/faults)
    solvane_warnings(${name})
endfunction()
solvane_faulty_kardemo(kardemo_faulty)
solvane_faulty_kardemo(kardemo_faulty_incomplete)
target_compile_definitions(kardemo_faulty_incomplete PRIVATE FAULTY_KARDEMO_WITHOUT_PORT_LIST)

solvane_window_test(device_faults ${CMAKE_CURRENT_LIST_DIR}/faults/DeviceFaultsTest.cpp)
target_compile_definitions(device_faults PRIVATE
                           FAULTY_KARDEMO="$<TARGET_FILE:kardemo_faulty>"
                           INCOMPLETE_KARDEMO="$<TARGET_FILE:kardemo_faulty_incomplete>")
add_dependencies(device_faults kardemo_faulty kardemo_faulty_incomplete)
target_link_libraries(device_faults PRIVATE ${CMAKE_DL_LIBS})

# Inputs the fuzzers (fuzz/) found mishandled, as regression cases of the normal test suite.
solvane_core_test(fuzz_findings ${CMAKE_CURRENT_LIST_DIR}/faults/FuzzFindingsTest.cpp)
