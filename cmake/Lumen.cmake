# Shared settings for every target of the project: warnings, static Windows runtime, dependencies.

add_library(lumen_options INTERFACE)
target_compile_options(lumen_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(LUMEN_WERROR)
  target_compile_options(lumen_options INTERFACE -Werror)
endif()
if(WIN32)
  # No DLL may be needed beside an exe: the C, C++ and thread runtimes are linked in.
  target_compile_definitions(lumen_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                     _WIN32_WINNT=0x0601)
  target_link_options(lumen_options INTERFACE -static -static-libgcc -static-libstdc++)
  # Every x86 processor since 2003 has SSE2; the x87 default would also change float results.
  target_compile_options(lumen_options INTERFACE -msse2 -mfpmath=sse)
  # 32-bit Windows promises only 4-byte stack alignment where it calls us (window procedures,
  # timers, COM calls); functions that keep SSE values on the stack realign it themselves.
  target_compile_options(lumen_options INTERFACE -mincoming-stack-boundary=2)
  # GCC 12 for i686 reports false -Wrestrict/-Warray-bounds errors inside libstdc++ at -O3 (the
  # later -O2 wins) and false -Wmaybe-uninitialized ones inside std::variant and std::optional;
  # the native and clang builds keep those checks.
  target_compile_options(lumen_options INTERFACE $<$<CONFIG:Release>:-O2> -Wno-maybe-uninitialized)
endif()
if(LUMEN_SANITIZE)
  target_compile_options(lumen_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=all)
  target_link_options(lumen_options INTERFACE -fsanitize=address,undefined)
endif()

if(WIN32)
  # The import library would make every program need zlib1.dll beside it.
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

# stb ships as headers in its own folder; never add the parent include folder to a cross build.
add_library(lumen_stb INTERFACE)
target_include_directories(lumen_stb SYSTEM INTERFACE /usr/include/stb)

# GoogleTest: Debian's prebuilt libraries natively, built from source for Windows.
if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# lumen_test(NAME SOURCES... LIBS ...): a GoogleTest program registered with CTest. Natively each test
# case is its own CTest test; under Wine the whole program is one test, which saves a Wine start per case.
function(lumen_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main lumen_options)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS win32)
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()

# lumen_shipped_program(TARGET): a program handed to users. It is stripped, so that its resources
# (followed only by its relocations) end the file: reelupgrade rewrites that section in place.
function(lumen_shipped_program name)
  target_link_options(${name} PRIVATE -s)
endfunction()
