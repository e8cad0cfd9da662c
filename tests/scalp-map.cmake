# The main window's scalp map (designed layout, model, painting) and the electrode contact
# monitor that colours it; and the map in the real program under Xvfb.
solvane_core_test(contact_monitor_tests ${CMAKE_CURRENT_LIST_DIR}/scalp-map/ContactMonitorTest.cpp)
solvane_window_test(scalp_map_layout ${CMAKE_CURRENT_LIST_DIR}/scalp-map/ScalpMapLayoutTest.cpp)
solvane_window_test(scalp_map_rendering
                    ${CMAKE_CURRENT_LIST_DIR}/scalp-map/ScalpMapRenderingTest.cpp
                    ${CMAKE_CURRENT_LIST_DIR}/scalp-map/MapPixels.cpp)

add_executable(scalp_map_screenshot_check
               ${CMAKE_CURRENT_LIST_DIR}/scalp-map/ScalpMapScreenshotCheck.cpp
               ${CMAKE_CURRENT_LIST_DIR}/scalp-map/MapPixels.cpp)
target_link_libraries(scalp_map_screenshot_check PRIVATE solvane_windows)
set_target_properties(scalp_map_screenshot_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                            ${CMAKE_BINARY_DIR}/tests)
solvane_warnings(scalp_map_screenshot_check)

add_test(NAME smoke_scalp_map
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/smoke/scalp-map-smoke.sh $<TARGET_FILE:solvane>
                 $<TARGET_FILE:kardemo> $<TARGET_FILE:x11driver>
                 $<TARGET_FILE:scalp_map_screenshot_check> ${CMAKE_BINARY_DIR}/smoke-scalp-map)
set_tests_properties(smoke_scalp_map PROPERTIES
                     TIMEOUT 180 LABELS smoke
                     ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
