# The core's day-long soak (scripts/soak runs it; it is no part of the test command).
add_executable(core_soak ${CMAKE_CURRENT_LIST_DIR}/soak/CoreSoak.cpp)
target_link_libraries(core_soak PRIVATE solvane_test_support)
set_target_properties(core_soak PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
solvane_warnings(core_soak)
