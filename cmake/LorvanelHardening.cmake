# Debian's usual hardening for the package build (make package): fortified libc calls, stack
# protector, read-only relocations bound at start-up, position-independent executables. The
# sanitizer build goes without: _FORTIFY_SOURCE and AddressSanitizer check the same calls.
option(LORVANEL_HARDEN "Build with Debian's hardening flags" OFF)
if(LORVANEL_HARDEN)
  if(LORVANEL_SANITIZE)
    message(FATAL_ERROR "LORVANEL_HARDEN and LORVANEL_SANITIZE exclude each other")
  endif()
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
  add_compile_definitions(_FORTIFY_SOURCE=2)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
