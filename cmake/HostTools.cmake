# Windows builds pack their resources with tools that run on the build machine: packtool, and
# payloadgen and tarvo beside it for the sample payload and setup.exe. TARVO_HOST_PACKTOOL may name a packtool built elsewhere
# (payloadgen is then taken from the same build tree); left empty, configuring builds both in a host
# build of this source tree under the binary folder, and configures again when their sources change,
# so `cmake --preset windows` and a build work on a fresh clone.
if(NOT TARVO_WINDOWS)
  return()
endif()

set(TARVO_HOST_PACKTOOL "" CACHE FILEPATH "packtool built for the build machine (empty: built here)")
if(TARVO_HOST_PACKTOOL)
  return()
endif()

set(host_tools_build ${CMAKE_BINARY_DIR}/host-tools)
set(host_tools_log ${host_tools_build}-build.log)
message(STATUS "Building packtool and payloadgen for the build machine in ${host_tools_build}")
execute_process(
  COMMAND ${CMAKE_COMMAND} --preset host -B ${host_tools_build}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  OUTPUT_FILE ${host_tools_log}
  ERROR_FILE ${host_tools_log}
  RESULT_VARIABLE host_tools_result)
if(host_tools_result EQUAL 0)
  execute_process(
    COMMAND ${CMAKE_COMMAND} --build ${host_tools_build} --target packtool payloadgen tarvo --parallel 2
    OUTPUT_FILE ${host_tools_log}
    ERROR_FILE ${host_tools_log}
    RESULT_VARIABLE host_tools_result)
endif()
if(NOT host_tools_result EQUAL 0)
  file(READ ${host_tools_log} host_tools_output)
  message(FATAL_ERROR "Building the host packtool failed (${host_tools_log}):\n${host_tools_output}")
endif()
set(TARVO_HOST_PACKTOOL ${host_tools_build}/tools/packtool/packtool)

file(GLOB_RECURSE host_tools_sources CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/pack/* ${CMAKE_SOURCE_DIR}/tools/packtool/* ${CMAKE_SOURCE_DIR}/tools/payloadgen/*
  ${CMAKE_SOURCE_DIR}/tools/tarvo/*)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${host_tools_sources})
