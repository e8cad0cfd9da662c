# The options dialog, alone and opened from the main window.
solvane_window_test(options_dialog ${CMAKE_CURRENT_LIST_DIR}/options/frmOptionsTest.cpp)
