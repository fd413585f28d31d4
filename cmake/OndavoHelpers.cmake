# Warnings are errors on the project's own code only (Qt's headers are system headers).
function(ondavo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(ONDAVO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# ondavo_library(name SOURCES ... LIBS ...): a static library of the program's own code.
function(ondavo_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    ondavo_warnings(${name})
endfunction()
