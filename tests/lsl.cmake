# The bundled DSU reading a Lab Streaming Layer stream, against a stand-in liblsl of our own
# (no network, no real liblsl): built whole and once without a function it needs.
foreach(variant IN ITEMS complete lacking)
    add_library(lsl_standin_${variant} SHARED lsl/LslStandIn.c)
    set_target_properties(lsl_standin_${variant} PROPERTIES
        C_VISIBILITY_PRESET hidden LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/lsl)
    target_link_libraries(lsl_standin_${variant} PRIVATE m)
    solvane_warnings(lsl_standin_${variant})
endforeach()
target_compile_definitions(lsl_standin_lacking PRIVATE STANDIN_LACKS_CHILD_VALUE)

solvane_core_test(dsu_lsl_test lsl/LslSourceTest.cpp dsu/DsuSimSupport.cpp)
target_link_libraries(dsu_lsl_test PRIVATE solvane_dsu)
add_dependencies(dsu_lsl_test lsl_standin_complete lsl_standin_lacking)
target_compile_definitions(dsu_lsl_test PRIVATE
    SOLVANE_EEG_RECORDINGS="${PROJECT_SOURCE_DIR}/data/eeg"
    SOLVANE_LSL_STANDIN="$<TARGET_FILE:lsl_standin_complete>"
    SOLVANE_LSL_STANDIN_LACKING="$<TARGET_FILE:lsl_standin_lacking>")

# The same tests once more where no packet could leave the loopback interface.
add_test(NAME dsu_lsl_without_network
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/lsl/run-without-network.sh
                 $<TARGET_FILE:dsu_lsl_test>)
