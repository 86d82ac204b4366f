# Warnings for our own code only; the C libraries' headers come in as system includes.
set(LORVANEL_WARNINGS -Wall -Wextra -Werror -Wno-error=deprecated-declarations)
# GCC 12 at -O3 reports overlapping copies inside libstdc++'s own string code (GCC bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND LORVANEL_WARNINGS -Wno-restrict)
endif()

# lorvanel_add_library(<name> SOURCES ... [PUBLIC ...] [PRIVATE ...])
# One static library per subsystem folder. PUBLIC lists what its headers expose (the folders
# below it, Qt modules, a C library whose types appear in a header); PRIVATE what only its
# sources use. LIBS is the older spelling of PUBLIC.
function(lorvanel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${LORVANEL_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} ${ARG_LIBS} PRIVATE ${ARG_PRIVATE})
endfunction()
