# The program on the tests' device library (device.cmake) misbehaving on purpose, and on its
# copy that lacks ListActiveCOMPorts, loaded the way the program loads them.
solvane_window_test(device_faults ${CMAKE_CURRENT_LIST_DIR}/faults/DeviceFaultsTest.cpp)
target_compile_definitions(device_faults PRIVATE
                           FAKE_KARDEMO="$<TARGET_FILE:fake_kardemo_complete>"
                           INCOMPLETE_KARDEMO="$<TARGET_FILE:fake_kardemo_incomplete>")
add_dependencies(device_faults fake_kardemo_complete fake_kardemo_incomplete)
target_link_libraries(device_faults PRIVATE ${CMAKE_DL_LIBS})

# Inputs the fuzzers (fuzz/) found mishandled, as regression cases of the normal test suite.
solvane_core_test(fuzz_findings ${CMAKE_CURRENT_LIST_DIR}/faults/FuzzFindingsTest.cpp)
