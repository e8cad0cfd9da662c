# The smoke test: the real solvane with the simulated libkardemo.so in a copy folder, driven
# under Xvfb by a small X client (keys through XTEST, close through WM_DELETE_WINDOW,
# screenshot of the window into <build>/smoke).

find_package(X11 REQUIRED)
if(NOT X11_Xtst_FOUND)
    message(FATAL_ERROR "The smoke test needs the XTEST library (libxtst-dev)")
endif()

add_executable(x11driver smoke/x11driver.cpp)
target_link_libraries(x11driver PRIVATE X11::X11 X11::Xtst Qt6::Gui)
set_target_properties(x11driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
solvane_warnings(x11driver)

add_test(NAME smoke_solvane
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smoke/run-smoke.sh $<TARGET_FILE:solvane>
                 $<TARGET_FILE:kardemo> $<TARGET_FILE:x11driver>
                 ${CMAKE_CURRENT_SOURCE_DIR}/data/solvane-new.ini ${CMAKE_BINARY_DIR}/smoke)
add_test(NAME smoke_solvane_close_during_run
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smoke/run-smoke.sh $<TARGET_FILE:solvane>
                 $<TARGET_FILE:kardemo> $<TARGET_FILE:x11driver>
                 ${CMAKE_CURRENT_SOURCE_DIR}/data/solvane-new.ini
                 ${CMAKE_BINARY_DIR}/smoke-close-during-run close-during-run)
# Signals and the loss of the X server during a run, from outside the program.
add_test(NAME smoke_solvane_endings
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smoke/run-ending-smoke.sh $<TARGET_FILE:solvane>
                 $<TARGET_FILE:kardemo> $<TARGET_FILE:x11driver> ${CMAKE_BINARY_DIR}/smoke-endings)
# The suppressions cover leaks inside system libraries (D-Bus, fontconfig) that a real X
# session loads, also when ctest is run without scripts/run-tests.
set_tests_properties(smoke_solvane smoke_solvane_close_during_run smoke_solvane_endings PROPERTIES
                     TIMEOUT 180 LABELS smoke
                     ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
