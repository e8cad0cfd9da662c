# The installed program: a staged cmake --install and the Debian package (extracted, never
# installed on the machine), each checked and run as an ordinary user under Xvfb. Not in a
# sanitizer build: the sanitizer's dlopen stands between the program and the loader, which then
# searches the sanitizer runtime's RUNPATH instead of the program's and cannot find the
# bundled library.
if(NOT SOLVANE_SANITIZE)
    foreach(mode staged package)
        add_test(NAME installed_${mode}
                 COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/installed-smoke.sh ${mode}
                         ${CMAKE_BINARY_DIR} $<TARGET_FILE:x11driver>
                         ${CMAKE_BINARY_DIR}/installed-${mode})
        set_tests_properties(installed_${mode} PROPERTIES TIMEOUT 300 LABELS "smoke;install")
    endforeach()
endif()
