# The simulated DSU (src/dsu-sim), driven through its classes: synthetic EEG, replay of
# recordings, the session file, its configuration, and a replay through the program's own
# analysis. The shared recordings are found beside the source tree.
solvane_core_test(dsu_sim_test
    dsu-sim/DsuSimSupport.cpp
    dsu-sim/ConfigurationTest.cpp
    dsu-sim/ReplayTest.cpp
    dsu-sim/SessionFileTest.cpp
    dsu-sim/SyntheticSourceTest.cpp)
target_link_libraries(dsu_sim_test PRIVATE solvane_dsusim)
target_compile_definitions(dsu_sim_test PRIVATE
    SOLVANE_SHARED_EEG="${PROJECT_SOURCE_DIR}/../shared/data/eeg")
