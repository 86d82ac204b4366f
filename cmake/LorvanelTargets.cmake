# Warnings for our own code only; the C libraries' headers come in as system includes.
set(LORVANEL_WARNINGS -Wall -Wextra -Werror -Wno-error=deprecated-declarations)

# lorvanel_add_library(<name> SOURCES ... [LIBS ...])
# One static library per subsystem folder.
function(lorvanel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${LORVANEL_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()
