# cmake -D DRIVE_C=<wine prefix>/drive_c -P WineLinks.cmake
# Makes C:\links for the Windows walk tests, on the host, each time afresh:
#   a\b\up  -> a       (a link to the parent: a loop)
#   a\b\top -> links   (a link to the root of the walk)
#   d\f.txt
#   e       -> d       (a link to a folder off the path: entered)
set(links ${DRIVE_C}/links)
file(REMOVE_RECURSE ${links})
file(MAKE_DIRECTORY ${links}/a/b ${links}/d)
file(WRITE ${links}/d/f.txt "")
file(CREATE_LINK .. ${links}/a/b/up SYMBOLIC)
file(CREATE_LINK ../.. ${links}/a/b/top SYMBOLIC)
file(CREATE_LINK d ${links}/e SYMBOLIC)
