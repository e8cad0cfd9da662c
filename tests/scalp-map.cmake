# The main window's scalp map (designed layout, model, painting) and the electrode contact
# monitor that colours it.
solvane_core_test(contact_monitor_tests ${CMAKE_CURRENT_LIST_DIR}/scalp-map/ContactMonitorTest.cpp)
solvane_window_test(scalp_map_layout ${CMAKE_CURRENT_LIST_DIR}/scalp-map/ScalpMapLayoutTest.cpp)
solvane_window_test(scalp_map_rendering
                    ${CMAKE_CURRENT_LIST_DIR}/scalp-map/ScalpMapRenderingTest.cpp)
