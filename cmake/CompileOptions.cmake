# One INTERFACE target carries the compile options of every target in the tree.
add_library(quorvel_options INTERFACE)
target_compile_features(quorvel_options INTERFACE cxx_std_20)
target_compile_options(quorvel_options INTERFACE -Wall -Wextra -Wpedantic)
if(DEFINED ENV{CI})
  target_compile_options(quorvel_options INTERFACE -Werror)
endif()

option(QUORVEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QUORVEL_SANITIZE)
  target_compile_options(quorvel_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
    # Sanitizer reports need line tables, not full debug information, and -O1 keeps them exact;
    # both together build the sanitizer tier in little more than half the time.
    -O1 -g1)
  target_link_options(quorvel_options INTERFACE -fsanitize=address,undefined)
endif()

# Fuzzing: clang's libFuzzer coverage and the sanitizers on every target; the harnesses in fuzz/
# add the fuzzer's own main when they link.
option(QUORVEL_FUZZ "Build the libFuzzer harnesses (needs clang)" OFF)
if(QUORVEL_FUZZ)
  target_compile_options(quorvel_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(quorvel_options INTERFACE -fsanitize=address,undefined)
endif()

# A library per folder: every source file in the folder belongs to it. DEPENDS are the libraries
# its headers expose to its users; PRIVATE ones only its own sources use.
function(quorvel_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(sources)
    file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PUBLIC quorvel_options ${ARG_DEPENDS})
    if(ARG_PRIVATE)
      target_link_libraries(${name} PRIVATE ${ARG_PRIVATE})
    endif()
  else()
    # Not written yet: an empty interface keeps the dependency graph whole.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} INTERFACE quorvel_options ${ARG_DEPENDS})
  endif()
endfunction()
