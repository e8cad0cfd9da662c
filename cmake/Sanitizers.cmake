# -DSOLVANE_SANITIZE=ON builds everything with ASan and UBSan; any report aborts the test.
if(SOLVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
