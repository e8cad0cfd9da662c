# The session viewer: the analysis and history of sessions written by the session library,
# following a run as it grows, and the report made without a window.
solvane_core_test(viewer_session_test viewer/SessionTest.cpp)
target_link_libraries(viewer_session_test PRIVATE solvane_viewer_core)
solvane_window_test(viewer_report_test viewer/ReportTest.cpp)
target_link_libraries(viewer_report_test PRIVATE solvane_viewer_windows)
target_compile_definitions(viewer_report_test PRIVATE SOLVANE_VIEW="$<TARGET_FILE:solvane-view>")
add_dependencies(viewer_report_test solvane-view)
solvane_core_test(viewer_figures_test viewer/FiguresTest.cpp)
target_link_libraries(viewer_figures_test PRIVATE solvane_viewer_core)
solvane_window_test(viewer_window_test viewer/WindowTest.cpp)
target_link_libraries(viewer_window_test PRIVATE solvane_viewer_windows)
