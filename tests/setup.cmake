# The set-up of channels and source (src/setup): its writes into copies of real settings files,
# the refusal while a program holds them, its warning against a run of the program's core, its
# check through the bundled libkardemo.so and the fake library, the streams liblsl sees (the
# stand-in, also where no packet can leave the loopback interface), and the window's map.
solvane_core_test(setup_core_test setup/SetupWriteTest.cpp setup/FeedbackRuleTest.cpp
                  setup/SourceCheckTest.cpp setup/StreamFinderTest.cpp dsu/DsuSimSupport.cpp)
target_link_libraries(setup_core_test PRIVATE solvane_setup_core)
add_dependencies(setup_core_test kardemo lsl_standin_complete lsl_standin_lacking)
target_compile_definitions(setup_core_test PRIVATE
    SOLVANE_KARDEMO="$<TARGET_FILE:kardemo>"
    SOLVANE_EEG_RECORDINGS="${PROJECT_SOURCE_DIR}/data/eeg"
    SOLVANE_LSL_STANDIN="$<TARGET_FILE:lsl_standin_complete>"
    SOLVANE_LSL_STANDIN_LACKING="$<TARGET_FILE:lsl_standin_lacking>")
add_test(NAME setup_streams_without_network
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/lsl/run-without-network.sh
                 $<TARGET_FILE:setup_core_test> --gtest_filter=*StreamsSeen*)

solvane_window_test(setup_window_test setup/SetupWindowTest.cpp scalp-map/MapPixels.cpp)
target_link_libraries(setup_window_test PRIVATE solvane_setup_windows)
target_include_directories(setup_window_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/scalp-map)
