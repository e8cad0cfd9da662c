# Starting, running and stopping a run against the in-process fake device library.
solvane_core_test(run_controller_tests run-controller/RunControllerTest.cpp)
