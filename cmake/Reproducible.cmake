# The same sources give the same bytes wherever the tree lies and whenever it
# is built: paths in debug information and __FILE__ are written relative to
# the tree, and (on Windows) the linker writes no time stamp into the PE
# header. Linked by every target whose code ships, tinyxml2 included.
add_library(kindsniffer_reproducible INTERFACE)
# Of several matching maps GCC applies the last, so the build tree's own
# (which usually lies inside the source tree) comes last.
target_compile_options(kindsniffer_reproducible INTERFACE
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
    -ffile-prefix-map=${PROJECT_BINARY_DIR}=build
)
if(WIN32)
    target_link_options(kindsniffer_reproducible INTERFACE -Wl,--no-insert-timestamp)
endif()
