# The tests' device library (tests/fakelib), a real libkardemo.so answering from a script, and
# a copy of it that lacks ListActiveCOMPorts; and loading them through KardemoDLL, with a file
# that is no library at all.
foreach(variant IN ITEMS complete incomplete)
    add_library(fake_kardemo_${variant} SHARED fakelib/FakeKardemoLibrary.cpp)
    target_link_libraries(fake_kardemo_${variant} PRIVATE solvane_profile)
    # Not named libkardemo.so: a test copies it under that name, and a library loaded under
    # the name would be found again by it where a test wants none found.
    set_target_properties(fake_kardemo_${variant} PROPERTIES CXX_VISIBILITY_PRESET hidden
                          LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/fakelib)
    solvane_warnings(fake_kardemo_${variant})
endforeach()
target_compile_definitions(fake_kardemo_incomplete PRIVATE FAKE_KARDEMO_WITHOUT_PORT_LIST)

solvane_core_test(device_loader_tests device/KardemoDLLTest.cpp)
add_dependencies(device_loader_tests fake_kardemo_complete fake_kardemo_incomplete)
target_compile_definitions(device_loader_tests PRIVATE
                           FAKE_KARDEMO="$<TARGET_FILE:fake_kardemo_complete>"
                           INCOMPLETE_KARDEMO="$<TARGET_FILE:fake_kardemo_incomplete>")
