# The simulated DSU (src/dsu), driven through its classes: synthetic EEG, replay of
# recordings, the session file and its sound, live sound, its configuration and debug log, and a replay through the program's own
# analysis, on the recordings in data/eeg.
solvane_core_test(dsu_sim_test
    dsu/DsuSimSupport.cpp
    dsu/ConfigurationTest.cpp
    dsu/DebugLogTest.cpp
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

# What a run leaves behind after a kill at each step of beginning, finishing and recovering
# it, and after a disk that fills while it goes (a tmpfs of its own, where it can be mounted),
# and a killed run's sound file kept up to its last whole frame.
solvane_core_test(session_faults_test dsu/SessionFaultsTest.cpp)
target_link_libraries(session_faults_test PRIVATE solvane_dsu)

