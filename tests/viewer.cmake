# The session viewer: reading sessions as they grow, their analysis and history, and the
# report made without a window.
solvane_core_test(viewer_session_test viewer/SessionTest.cpp viewer/SessionWriter.cpp)
target_link_libraries(viewer_session_test PRIVATE solvane_viewer_core)
# Records a session with the bundled DSU driven by the program's analysis (for the report's
# test, the README's picture, the benchmark and the processor-share script).
add_executable(viewer_record_session viewer/RecordSession.cpp)
target_link_libraries(viewer_record_session PRIVATE solvane_test_support solvane_dsu)
solvane_warnings(viewer_record_session)
set_target_properties(viewer_record_session PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                       ${CMAKE_BINARY_DIR}/tests)
solvane_window_test(viewer_report_test viewer/ReportTest.cpp viewer/SessionWriter.cpp)
target_link_libraries(viewer_report_test PRIVATE solvane_viewer_windows)
target_compile_definitions(viewer_report_test PRIVATE SOLVANE_VIEW="$<TARGET_FILE:solvane-view>")
add_dependencies(viewer_report_test solvane-view)
