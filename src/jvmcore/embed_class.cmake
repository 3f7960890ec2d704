# Writes every class file in CLASS_DIR into the header OUTPUT as C++ byte
# arrays, with a table NAME of EmbeddedClass (embedded_classes.h) that the
# programs define through JNI DefineClass (a class after its supertypes,
# whatever the table's order); the table is sorted by name so the header is
# the same on every build. Fails if there is none.
file(GLOB classes "${CLASS_DIR}/*.class")
list(SORT classes)
list(LENGTH classes count)
if(count EQUAL 0)
  message(FATAL_ERROR "no class file in ${CLASS_DIR}")
endif()
set(arrays "")
set(table "")
set(index 0)
foreach(class IN LISTS classes)
  get_filename_component(class_name "${class}" NAME_WE)
  # NAME_WE stops at the first dot; class names have none.
  file(READ "${class}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "static const unsigned char ${NAME}${index}[] = {\n${bytes}\n};\n")
  string(APPEND table "    {\"${class_name}\", ${NAME}${index}, sizeof ${NAME}${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from the class files in ${CLASS_DIR}; do not edit.\n"
  "#pragma once\n"
  "#include \"jvmcore/embedded_classes.h\"\n"
  "${arrays}"
  "static const EmbeddedClass ${NAME}[] = {\n${table}};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
