# The core layers build everywhere, the MinGW cross build included: no Qt, and Windows headers
# only behind _WIN32 in the three files of text: code pages, case and collation, and the
# command line's arguments.
file(GLOB_RECURSE sources "${SOURCE_DIR}/base/*" "${SOURCE_DIR}/settings/*" "${SOURCE_DIR}/engine/*" "${SOURCE_DIR}/batch/*"
     "${SOURCE_DIR}/sheets/*")
# cad/ itself only: its backends (cad/builtin, cad/com) live in sub-folders of their own.
file(GLOB cad_sources "${SOURCE_DIR}/cad/*.h" "${SOURCE_DIR}/cad/*.cpp")
list(APPEND sources ${cad_sources})
foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include <(Q|windows|ole|oaidl)")
    if(includes AND NOT source MATCHES "base/(text_file|characters|console).cpp$")
        message(FATAL_ERROR "${source} includes ${includes}")
    endif()
endforeach()
list(LENGTH sources count)
message(STATUS "core layers: ${count} files checked, standard library only")
