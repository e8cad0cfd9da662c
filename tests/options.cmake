# The options dialog, alone and opened from the main window; and in the real program under
# Xvfb (x11driver comes from smoke.cmake), with a screenshot into <build>/smoke-options.
solvane_window_test(options_dialog ${CMAKE_CURRENT_LIST_DIR}/options/frmOptionsTest.cpp)

add_test(NAME smoke_options_dialog
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/smoke/run-options-smoke.sh $<TARGET_FILE:solvane>
                 $<TARGET_FILE:kardemo> $<TARGET_FILE:x11driver> ${CMAKE_BINARY_DIR}/smoke-options)
set_tests_properties(smoke_options_dialog PROPERTIES TIMEOUT 180 LABELS smoke)
