# Loading a real shared library through KardemoDLL: a complete fake libkardemo.so, one that
# lacks a function, and a file that is no library at all.

function(solvane_fake_device_library target folder)
    add_library(${target} SHARED fakelib/FakeKardemoLibrary.c)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME kardemo C_VISIBILITY_PRESET hidden
                                               LIBRARY_OUTPUT_DIRECTORY ${folder})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    solvane_warnings(${target})
endfunction()

set(fake_library_folder ${CMAKE_BINARY_DIR}/tests/fakelib)
set(incomplete_library_folder ${CMAKE_BINARY_DIR}/tests/fakelib-incomplete)
solvane_fake_device_library(fake_kardemo ${fake_library_folder})
solvane_fake_device_library(fake_kardemo_incomplete ${incomplete_library_folder})
target_compile_definitions(fake_kardemo_incomplete PRIVATE FAKE_LACKS_TERMINATE)

solvane_core_test(device_loader_tests device/KardemoDLLTest.cpp)
add_dependencies(device_loader_tests fake_kardemo fake_kardemo_incomplete)
target_compile_definitions(device_loader_tests PRIVATE
                           FAKE_LIBRARY_FOLDER="${fake_library_folder}"
                           INCOMPLETE_LIBRARY_FOLDER="${incomplete_library_folder}")
