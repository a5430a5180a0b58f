# The card's paths are compiled into one small object per card root, so the
# real program and the sandboxed copies used by tests share every other object.
function(merovane_card_paths target root)
  add_library(${target} OBJECT ${PROJECT_SOURCE_DIR}/src/dispatch/card_paths.cpp)
  target_compile_definitions(${target} PRIVATE "MEROVANE_CARD_ROOT=\"${root}\"")
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# merovane_program(<name> <card root>): the CGI executable for one card root.
function(merovane_program name root)
  merovane_card_paths(${name}_paths "${root}")
  add_executable(${name} ${PROJECT_SOURCE_DIR}/src/dispatch/main.cpp)
  target_link_libraries(${name} PRIVATE merovane_dispatch ${name}_paths)
  if(NOT MEROVANE_SANITIZE)
    # The card has no C++ runtime of its own to share; a self-contained
    # binary also starts faster than one that resolves libstdc++ at exec.
    target_link_options(${name} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()
