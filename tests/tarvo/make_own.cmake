# cmake -DSRC=tests/tarvo/own -DGLUE_FROM=product/UI.lua -DOUT=DIR -P make_own.cmake: the test product
# folder in DIR. Its UI scripts (and its uninstaller's) are the product's framework glue, which the
# native side calls by name, followed by the fixture's own UI.tail.lua.
file(READ ${GLUE_FROM} ui)
string(FIND "${ui}" "-- end of framework glue" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${GLUE_FROM} has no \"-- end of framework glue\" line")
endif()
string(SUBSTRING "${ui}" 0 ${at} glue)
file(REMOVE_RECURSE ${OUT})
file(COPY ${SRC}/ DESTINATION ${OUT} PATTERN "UI.tail.lua" EXCLUDE)
foreach(dir "" "/uninstall")
  file(READ ${SRC}${dir}/UI.tail.lua tail)
  file(WRITE ${OUT}${dir}/UI.lua "${glue}${tail}")
endforeach()
