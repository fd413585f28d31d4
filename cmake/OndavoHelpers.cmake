# The project's own compile settings, in one place: every target of ours links this. Warnings
# reach only our code (Qt's headers are system headers).
add_library(ondavo_options INTERFACE)
target_compile_features(ondavo_options INTERFACE cxx_std_17)
target_compile_options(ondavo_options INTERFACE -Wall -Wextra -Wpedantic $<$<BOOL:${ONDAVO_WERROR}>:-Werror>)
if(ONDAVO_SANITIZE)
    target_compile_options(ondavo_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(ondavo_options INTERFACE -fsanitize=address,undefined)
endif()

function(ondavo_warnings target)
    target_link_libraries(${target} PRIVATE ondavo_options)
endfunction()

# ondavo_library(name SOURCES ... LIBS ... [PRIVATE ...]): a static library of the program's own
# code. LIBS are what its headers need, so its users get them too; PRIVATE what only its sources use.
function(ondavo_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PRIVATE" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE})
    ondavo_warnings(${name})
endfunction()
