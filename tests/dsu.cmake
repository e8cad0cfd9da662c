# The simulated DSU (src/dsu), driven through its classes: synthetic EEG, replay of
# recordings, the session file and its sound, live sound, its configuration, and a replay through the program's own
# analysis, on the recordings in data/eeg.
solvane_core_test(dsu_sim_test
    dsu/DsuSimSupport.cpp
    dsu/ConfigurationTest.cpp
    dsu/LiveResamplerTest.cpp
    dsu/RecordingHeaderTest.cpp
    dsu/ReplayAnalysisTest.cpp
    dsu/ReplayTest.cpp
    dsu/SessionFileTest.cpp
    dsu/SessionRoundTripTest.cpp
    dsu/SoundTest.cpp
    dsu/SyntheticSourceTest.cpp)
target_link_libraries(dsu_sim_test PRIVATE solvane_dsu)
target_compile_definitions(dsu_sim_test PRIVATE
    SOLVANE_EEG_RECORDINGS="${PROJECT_SOURCE_DIR}/data/eeg")

# The real program on a replayed resting recording, under Xvfb, driven by the smoke test's X
# client: the whole recording is delivered and the scalp map shows good contact.
add_test(NAME dsu_sim_replay_smoke
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/dsu/run-replay-smoke.sh $<TARGET_FILE:solvane>
                 $<TARGET_FILE:kardemo> $<TARGET_FILE:x11driver>
                 ${PROJECT_SOURCE_DIR}/data/eeg/eegmat_Subject00_1.edf
                 ${CMAKE_BINARY_DIR}/replay-smoke)
set_tests_properties(dsu_sim_replay_smoke PROPERTIES TIMEOUT 600 LABELS smoke)
