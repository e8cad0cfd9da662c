# The session viewer: reading sessions as they grow, their analysis and history, and the
# report made without a window.
solvane_core_test(viewer_session_test viewer/SessionTest.cpp viewer/SessionWriter.cpp)
target_link_libraries(viewer_session_test PRIVATE solvane_viewer_core)
