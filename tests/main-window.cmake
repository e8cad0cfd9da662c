# The main window's run control (Qt Test, offscreen) with the fake device library.
solvane_window_test(main_window_tests main-window/frmMainTest.cpp)
target_compile_definitions(main_window_tests PRIVATE SOLVANE_VERSION="${PROJECT_VERSION}")
# Input is queued for the window the way the platform queues it (QWindowSystemInterface).
target_link_libraries(main_window_tests PRIVATE Qt6::GuiPrivate)
