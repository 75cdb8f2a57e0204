# tarvo_add_test(NAME SOURCES... [LIBS ...] [ARGS ...])
# One executable per test group; on Windows builds ctest runs it through the Wine emulator, so keep
# groups coarse (a Wine process start costs about a second).
function(tarvo_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()

# tarvo_add_setup_variant(NAME [UI_LUA FILE]): the installer built again with its "UI.lua" resource
# replaced by FILE, or left out without one; every other resource is the installer's own.
function(tarvo_add_setup_variant name)
  cmake_parse_arguments(V "" "UI_LUA" "" ${ARGN})
  get_property(setup_rc GLOBAL PROPERTY TARVO_SETUP_RC)
  get_property(setup_rc_inputs GLOBAL PROPERTY TARVO_SETUP_RC_INPUTS)
  set_source_files_properties(${setup_rc} PROPERTIES OBJECT_DEPENDS "${setup_rc_inputs}" GENERATED TRUE)
  set(sources ${CMAKE_SOURCE_DIR}/src/app/main.cpp ${setup_rc})
  if(V_UI_LUA)
    set(ui_rc ${CMAKE_CURRENT_BINARY_DIR}/${name}_ui.rc)
    file(CONFIGURE OUTPUT ${ui_rc} @ONLY CONTENT
      "// \"UI.lua\" of ${name}; the other resources come from setup.rc.
#include <windows.h>

LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED
111 _TARVORESC \"${V_UI_LUA}\"
")
    set_source_files_properties(${ui_rc} PROPERTIES OBJECT_DEPENDS ${V_UI_LUA})
    list(APPEND sources ${ui_rc})
  endif()
  add_executable(${name} WIN32 ${sources})
  add_dependencies(${name} tarvo_setup_archives)
  target_compile_definitions(${name} PRIVATE TARVO_NO_UI_SCRIPT)
  target_link_libraries(${name} PRIVATE $<TARGET_PROPERTY:setup_stub,LINK_LIBRARIES>)
  target_link_options(${name} PRIVATE -municode)
  tarvo_page_aligned_image(${name})
endfunction()

# tarvo_unmanaged_windows(TEST EXE): before TEST runs, Wine's X11 driver is told to leave the windows of
# EXE (file name) unmanaged. There is no window manager on the test display, and the driver waits about
# two seconds for one after every hide or destroy of a managed window. The setting is read when the
# driver loads, which happens before a program's own code runs, so it is written from outside.
function(tarvo_unmanaged_windows test exe)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    return()
  endif()
  add_test(NAME ${test}_unmanaged
           COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} reg add
                   "HKCU\\Software\\Wine\\AppDefaults\\${exe}\\X11 Driver" /v Managed /d N /f)
  set_tests_properties(${test}_unmanaged PROPERTIES FIXTURES_SETUP ${test}_unmanaged)
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED ${test}_unmanaged)
endfunction()

# tarvo_embed_files(TARGET ID FILE [ID FILE]...): embeds each FILE in TARGET as _TARVORESC resource
# ID; TARGET is rebuilt when one changes. A FILE the build makes needs its target as a dependency of
# TARGET. The caller's folder must have enabled the RC language.
function(tarvo_embed_files target)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_files.rc)
  set(content "#include <windows.h>\n")
  set(files)
  set(args ${ARGN})
  while(args)
    list(POP_FRONT args id file)
    string(APPEND content "${id} _TARVORESC \"${file}\"\n")
    list(APPEND files ${file})
  endwhile()
  file(WRITE ${rc} "${content}")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${files}")
  target_sources(${target} PRIVATE ${rc})
endfunction()

# tarvo_test_resources(TARGET ID NAME DIR [ID NAME DIR]...): packs each folder DIR into the archive NAME
# of the binary folder and embeds it in TARGET as _TARVORESC resource ID (a test registers NAME -> ID in
# its resource catalogue). The caller's folder must have enabled the RC language.
function(tarvo_test_resources target)
  set(embedded)
  set(archives)
  set(args ${ARGN})
  while(args)
    list(POP_FRONT args id name dir)
    set(archive ${CMAKE_CURRENT_BINARY_DIR}/${name})
    tarvo_pack_folder(${archive} ${dir})
    list(APPEND embedded ${id} ${archive})
    list(APPEND archives ${archive})
  endwhile()
  tarvo_embed_files(${target} ${embedded})
  add_custom_target(${target}_archives DEPENDS ${archives})
  add_dependencies(${target} ${target}_archives)
endfunction()
