# The folders under src/ include one another in one direction only.
add_test(NAME include_graph COMMAND ${PROJECT_SOURCE_DIR}/scripts/include-graph
                                    ${PROJECT_SOURCE_DIR}/src)
