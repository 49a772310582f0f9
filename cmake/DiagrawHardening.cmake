# Hardened programs, built the way Debian builds the programs of its
# packages: fortified libc calls, stack canaries, probes of large stack
# frames, marks for indirect branches, position-independent executables and
# a relocation table made read-only before main runs. On by default for the
# optimised configurations (Release, RelWithDebInfo, MinSizeRel); the Debug
# configuration stays as it was. -DDIAGRAW_HARDENING=OFF turns it all off.
#
# None of these flags touches floating-point code generation, so every image
# stays bit for bit what it was (the known-digests test).
#
# Each compiler flag is tried first, so that a compiler without it (an older
# Clang, or a target where it means nothing) simply goes without. What is
# specific to ELF (-z relro, -z now, the CET marks, the stack-clash probes) is
# left out for Windows.
# With a sanitizer in CMAKE_CXX_FLAGS the fortified calls are left out: glibc
# would check those calls itself instead of the sanitizer, which would then
# miss what it is there to report.
#
# Sets DIAGRAW_HARDENING_COMPILE_FLAGS and DIAGRAW_HARDENING_LINK_FLAGS (what
# was applied) and says in the configure output what it chose.
option(DIAGRAW_HARDENING "Build with the hardening flags of a Debian package (optimised configurations)" ON)

set(DIAGRAW_HARDENING_COMPILE_FLAGS "")
set(DIAGRAW_HARDENING_LINK_FLAGS "")
if(NOT DIAGRAW_HARDENING)
  message(STATUS "Hardening: off (DIAGRAW_HARDENING=OFF)")
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  message(STATUS "Hardening: not applied, only known for GCC and Clang (${CMAKE_CXX_COMPILER_ID})")
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)

set(diagraw_elf ON)
if(WIN32 OR APPLE)
  set(diagraw_elf OFF)
endif()
set(diagraw_sanitized OFF)
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  set(diagraw_sanitized ON)
endif()

# _FORTIFY_SOURCE needs optimisation, which every configuration it is given
# to has. It is undefined first: a compiler that defines it on its own would
# otherwise warn about the second definition, and warnings are errors here.
if(NOT diagraw_sanitized)
  list(APPEND DIAGRAW_HARDENING_COMPILE_FLAGS -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
endif()

# Windows probes every stack frame larger than a page on its own (___chkstk),
# and MinGW's GCC 12 stops with an internal error on -fstack-clash-protection
# (seh_emit_stackalloc): the probes are asked for on ELF systems only.
set(diagraw_candidates -fstack-protector-strong)
if(diagraw_elf)
  list(APPEND diagraw_candidates -fstack-clash-protection)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i.86)$")
    list(APPEND diagraw_candidates -fcf-protection)
  endif()
endif()
foreach(flag IN LISTS diagraw_candidates)
  string(MAKE_C_IDENTIFIER "DIAGRAW_HAS${flag}" result)
  check_cxx_compiler_flag(${flag} ${result})
  if(${result})
    list(APPEND DIAGRAW_HARDENING_COMPILE_FLAGS ${flag})
  endif()
endforeach()

# MinGW's C library has neither the canary's checks nor the fortified calls:
# they are in GCC's libssp, which the driver links only when it sees the
# flag at link time too.
if(MINGW AND "-fstack-protector-strong" IN_LIST DIAGRAW_HARDENING_COMPILE_FLAGS)
  list(APPEND DIAGRAW_HARDENING_LINK_FLAGS -fstack-protector-strong)
endif()
if(diagraw_elf)
  check_linker_flag(CXX "LINKER:-z,relro,-z,now" DIAGRAW_HAS_RELRO_NOW)
  if(DIAGRAW_HAS_RELRO_NOW)
    list(APPEND DIAGRAW_HARDENING_LINK_FLAGS "LINKER:-z,relro,-z,now")
  endif()
endif()

# PIE: every target is built position-independent and executables are
# linked as such where the toolchain can (not a notion of Windows' PE files,
# which are relocatable anyway). The static libraries then get -fPIC, with
# which GCC assumes that a global function may be replaced at load time and
# stops inlining it; none of diagraw's ever is.
if(diagraw_elf)
  check_pie_supported(OUTPUT_VARIABLE diagraw_pie_output LANGUAGES CXX)
  if(CMAKE_CXX_LINK_PIE_SUPPORTED)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      list(APPEND DIAGRAW_HARDENING_COMPILE_FLAGS -fno-semantic-interposition)
    endif()
  else()
    message(STATUS "Hardening: no position-independent executables here: ${diagraw_pie_output}")
  endif()
endif()

set(diagraw_optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
add_compile_options("$<${diagraw_optimised}:${DIAGRAW_HARDENING_COMPILE_FLAGS}>")
add_link_options("$<${diagraw_optimised}:${DIAGRAW_HARDENING_LINK_FLAGS}>")

list(JOIN DIAGRAW_HARDENING_COMPILE_FLAGS " " diagraw_shown_compile)
list(JOIN DIAGRAW_HARDENING_LINK_FLAGS " " diagraw_shown_link)
set(diagraw_shown "compiling with ${diagraw_shown_compile}; linking with ${diagraw_shown_link}")
if(CMAKE_POSITION_INDEPENDENT_CODE)
  string(APPEND diagraw_shown "; PIE")
endif()
if(diagraw_sanitized)
  string(APPEND diagraw_shown "; no _FORTIFY_SOURCE beside a sanitizer")
endif()
message(STATUS "Hardening of the optimised configurations: ${diagraw_shown}")
