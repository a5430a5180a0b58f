# The user id of the card's updater: a progress file in /tmp is believed only
# when this user owns it (and nobody else may write it).
set(MEROVANE_UPDATER_UID 0 CACHE STRING "User id that owns the updater's progress files")

# The bound in seconds of every program the card's CGI program starts and
# waits for: the change programs and the refresh script (0: none).
set(MEROVANE_CHILD_TIMEOUT_S 60 CACHE STRING
  "Seconds a change program or the refresh may run (0: no bound)")

# merovane_card_root(<target> <card root> [UPDATER_UID <uid>] [CHILD_TIMEOUT_S <s>]):
# the card's paths for one card root, an object library that every executable
# using the card (src/card) links itself. Being an object file, not an archive
# member, it is always linked whatever the link order: an executable without
# one fails to link, and one with two fails on the duplicate definitions. The
# updater's user and the children's bound are the build settings unless given.
function(merovane_card_root target root)
  cmake_parse_arguments(PARSE_ARGV 2 paths "" "UPDATER_UID;CHILD_TIMEOUT_S" "")
  if(NOT DEFINED paths_UPDATER_UID)
    set(paths_UPDATER_UID ${MEROVANE_UPDATER_UID})
  endif()
  if(NOT DEFINED paths_CHILD_TIMEOUT_S)
    set(paths_CHILD_TIMEOUT_S ${MEROVANE_CHILD_TIMEOUT_S})
  endif()
  add_library(${target} OBJECT ${PROJECT_SOURCE_DIR}/src/card/card_paths.cpp)
  target_compile_definitions(${target} PRIVATE "MEROVANE_CARD_ROOT=\"${root}\""
                                               "MEROVANE_UPDATER_UID=${paths_UPDATER_UID}"
                                               "MEROVANE_CHILD_TIMEOUT_S=${paths_CHILD_TIMEOUT_S}")
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# The program is started once per request, so its start-up is part of every
# request's cost. A fully static executable needs no dynamic loader: nothing
# is mapped, resolved or relocated at exec, and it touches fewer pages (see
# BENCHMARKS.md). The program uses nothing of the C library that needs
# shared objects at run time (no name services, no locales, no iconv).
# OFF links only the C++ runtime statically, the C library dynamically.
option(MEROVANE_FULLY_STATIC "Link the CGI program fully statically" ON)

# The request process's address-space limit (see README, "Build settings").
set(MEROVANE_MEMORY_LIMIT_MIB 0 CACHE STRING
  "Address-space limit of the CGI program in MiB (0: none)")

# merovane_card_executable(<name> <card root> <sources...> [DYNAMIC] [UPDATER_UID <uid>]
#                          [CHILD_TIMEOUT_S <s>]):
# an executable for the card, linked with the card's paths for one card root
# (the updater's user and the children's bound are the build settings unless
# given) and, like the program, fully statically unless DYNAMIC says otherwise.
function(merovane_card_executable name root)
  cmake_parse_arguments(PARSE_ARGV 2 executable "DYNAMIC" "UPDATER_UID;CHILD_TIMEOUT_S" "")
  set(paths "")
  foreach(setting UPDATER_UID CHILD_TIMEOUT_S)
    if(DEFINED executable_${setting})
      list(APPEND paths ${setting} ${executable_${setting}})
    endif()
  endforeach()
  merovane_card_root(${name}_card_root "${root}" ${paths})
  add_executable(${name} ${executable_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${name}_card_root)
  if(MEROVANE_SANITIZE)
    # The sanitizer runtimes are shared libraries.
  elseif(MEROVANE_FULLY_STATIC AND NOT executable_DYNAMIC)
    # Unused sections of the static libraries are left out of the image.
    target_link_options(${name} PRIVATE -static -Wl,--gc-sections)
  else()
    # The card has no C++ runtime of its own to share.
    target_link_options(${name} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()

# The seconds an Apply that changes the card's address waits for a request at
# that address before it undoes itself (0: never; the code is left out).
set(MEROVANE_CONFIRM_S 0 CACHE STRING
  "Seconds an address change waits for its confirmation (0: no window)")

# merovane_program(<name> <card root> [DYNAMIC] [UPDATER_UID <uid>] [MEMORY_LIMIT_MIB <n>]
#                  [CHILD_TIMEOUT_S <s>] [CONFIRM_S <s>]):
# the CGI executable for one card root. DYNAMIC keeps the C library shared
# whatever MEROVANE_FULLY_STATIC says: valgrind can only follow the allocator
# of a dynamically linked program. UPDATER_UID, MEMORY_LIMIT_MIB,
# CHILD_TIMEOUT_S and CONFIRM_S replace the build settings of the same names.
function(merovane_program name root)
  cmake_parse_arguments(PARSE_ARGV 2 program "" "MEMORY_LIMIT_MIB;CONFIRM_S" "")
  foreach(setting MEMORY_LIMIT_MIB CONFIRM_S)
    if(NOT DEFINED program_${setting})
      set(program_${setting} ${MEROVANE_${setting}})
    endif()
  endforeach()
  # The applying of changes is compiled into each program, with its window
  # (see src/update).
  merovane_card_executable(${name} "${root}" ${PROJECT_SOURCE_DIR}/src/dispatch/main.cpp
                           ${PROJECT_SOURCE_DIR}/src/update/complete_set.cpp
                           ${program_UNPARSED_ARGUMENTS})
  target_compile_definitions(${name} PRIVATE MEROVANE_MEMORY_LIMIT_MIB=${program_MEMORY_LIMIT_MIB}
                                             MEROVANE_CONFIRM_S=${program_CONFIRM_S})
  target_link_libraries(${name} PRIVATE merovane_dispatch)
endfunction()
