# SPDX-License-Identifier: MIT
# cmake -D EMULATOR=<wine command> -D LIST_TREE=<list-tree.exe>
#       -D DRIVE_C=<wine prefix>/drive_c -P ListTreeUnderWine.cmake
# examples/list-tree, built for Windows, lists C:\data (WineTrees.cmake) under
# wine: the folders relative to C:\data, then the files by full path, one a
# line, CR LF ended as text on Windows is.

# `expected` has a '|' for each line end. The output is compared byte for
# byte: CMake reads text with its CRs dropped.
function(expect_listing expected)
    set(out ${DRIVE_C}/../list-tree-output)
    execute_process(COMMAND ${EMULATOR} ${LIST_TREE} ${ARGN}
        OUTPUT_FILE ${out} RESULT_VARIABLE status)
    file(READ ${out} actual HEX)
    string(REPLACE "|" "\r\n" expected "${expected}")
    string(HEX "${expected}" expected_hex)
    if(NOT status EQUAL 0 OR NOT actual STREQUAL expected_hex)
        file(READ ${out} text)
        message(FATAL_ERROR "list-tree ${ARGN}: status ${status}\n"
                            "expected: ${expected_hex}\nactual:   ${actual}\n${text}")
    endif()
endfunction()
expect_listing([[sub|sub\deep|C:\data\a.txt|C:\data\sub\b.txt|]] [[C:\data]])
expect_listing([[sub|sub\deep|C:\data\a.txt|C:\data\sub\b.txt|]] [[C:\data\]])
expect_listing([[C:\data\sub\|C:\data\sub\deep\|C:\data\a.txt|C:\data\sub\b.txt|]]
    --full-path [[C:\data]])
expect_listing([[sub|C:\data\a.txt|]] --no-subfolders [[C:\data]])
