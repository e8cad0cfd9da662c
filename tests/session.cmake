# The session library: the AVE command codec, the events file, the EDF+ recording written and
# read back (by EDFlib too, as an independent reader), the facts, and damaged sessions read as
# far as they can be.
solvane_core_test(session_test
    session/AveCommandTest.cpp
    session/DamagedSessionTest.cpp
    session/EventsFileTest.cpp
    session/RecordingTest.cpp)
target_link_libraries(session_test PRIVATE solvane_session ${EDFLIB_LIBRARY})
target_include_directories(session_test PRIVATE ${EDFLIB_INCLUDE_DIR})
