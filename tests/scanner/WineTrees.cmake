# SPDX-License-Identifier: MIT
# cmake -D DRIVE_C=<wine prefix>/drive_c -P WineTrees.cmake
# Makes, each time afresh, the trees that the Windows walk tests and the
# list-tree check walk, on the host: wine shows a host folder below drive_c as
# a folder of C:\, a host link to a folder as a folder reparse point (a
# junction, as it were: wine itself can make neither junctions nor links),
# and the host sets no 260-character limit. The file system lists sorted.
#   C:\data\a.txt, C:\data\sub\b.txt, C:\data\sub\deep\    the worked example
#   C:\quorvel-root.txt                                   a file in the root
#   C:\links\a\b\up -> a, C:\links\a\b\top -> links         links back
#   C:\links\d\f.txt, C:\links\e -> d                       a link off the path
#   C:\long\n...n\ (60 n) five levels deep, f.txt in the deepest
foreach(top data links long)
    file(REMOVE_RECURSE ${DRIVE_C}/${top})
endforeach()
file(MAKE_DIRECTORY ${DRIVE_C}/data/sub/deep ${DRIVE_C}/links/a/b ${DRIVE_C}/links/d)
file(WRITE ${DRIVE_C}/data/a.txt "a")
file(WRITE ${DRIVE_C}/data/sub/b.txt "b")
file(WRITE ${DRIVE_C}/quorvel-root.txt "")
file(WRITE ${DRIVE_C}/links/d/f.txt "")
file(CREATE_LINK .. ${DRIVE_C}/links/a/b/up SYMBOLIC)
file(CREATE_LINK ../.. ${DRIVE_C}/links/a/b/top SYMBOLIC)
file(CREATE_LINK d ${DRIVE_C}/links/e SYMBOLIC)
string(REPEAT n 60 name)
file(WRITE ${DRIVE_C}/long/${name}/${name}/${name}/${name}/${name}/f.txt "")
