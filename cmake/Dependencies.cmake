# Imported targets for the project's dependencies. Nothing is vendored: MinGW builds use the static
# libraries scripts/bootstrap made in .cache/deps/mingw; host builds use Debian's packages.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(TARVO_WINDOWS ON)
else()
  set(TARVO_WINDOWS OFF)
endif()

set(TARVO_DEPS_DIR ${CMAKE_SOURCE_DIR}/.cache/deps/mingw CACHE PATH "MinGW dependency prefix")

add_library(dep_lzma INTERFACE)
if(TARVO_WINDOWS)
  if(NOT EXISTS ${TARVO_DEPS_DIR}/lib/liblzma.a)
    message(FATAL_ERROR "MinGW liblzma missing: run scripts/bootstrap")
  endif()
  target_include_directories(dep_lzma SYSTEM INTERFACE ${TARVO_DEPS_DIR}/include)
  target_link_libraries(dep_lzma INTERFACE ${TARVO_DEPS_DIR}/lib/liblzma.a)
  target_compile_definitions(dep_lzma INTERFACE LZMA_API_STATIC)

  add_library(dep_lua INTERFACE)
  target_include_directories(dep_lua SYSTEM INTERFACE ${TARVO_DEPS_DIR}/include/lua5.2)
  target_link_libraries(dep_lua INTERFACE ${TARVO_DEPS_DIR}/lib/liblua52.a)

  # Static runtime: the executables need no MinGW DLLs beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LZMA REQUIRED IMPORTED_TARGET liblzma)
  target_link_libraries(dep_lzma INTERFACE PkgConfig::LZMA)
  # Debian's liblua5.2-dev: tarvo compiles the product's scripts to check them.
  pkg_check_modules(LUA52 REQUIRED IMPORTED_TARGET lua5.2)
  add_library(dep_lua INTERFACE)
  target_link_libraries(dep_lua INTERFACE PkgConfig::LUA52)
endif()

add_library(dep_stb INTERFACE)
target_include_directories(dep_stb SYSTEM INTERFACE /usr/include/stb)
add_library(dep_rapidxml INTERFACE)
target_include_directories(dep_rapidxml SYSTEM INTERFACE /usr/include/rapidxml)

if(NOT TARVO_FUZZ)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/HostTools.cmake)

# tarvo_page_aligned_image(TARGET): the executable's sections start on page boundaries in the file as
# they do in memory, so the loader can map them from the file lazily instead of reading the whole image
# at start-up (Wine does the latter for an image whose file alignment is below the page size). For the
# executables that embed the payload archive.
function(tarvo_page_aligned_image target)
  if(TARVO_WINDOWS)
    target_link_options(${target} PRIVATE -Wl,--file-alignment,4096 -Wl,--section-alignment,4096)
  endif()
endfunction()
