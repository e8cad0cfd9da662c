# Warnings for every target of ours: solvane_warnings(<target>)
function(solvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
endfunction()
