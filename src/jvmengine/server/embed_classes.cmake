# Writes every class file in CLASS_DIR as C++ byte arrays into the header
# OUTPUT, with a table kServerClasses of {name, bytes, size}: the engine
# server defines these classes from its own bytes, beside the run class.
file(GLOB classes "${CLASS_DIR}/*.class")
list(SORT classes)
set(arrays "")
set(table "")
set(index 0)
foreach(class ${classes})
  get_filename_component(name "${class}" NAME_WE)
  file(READ "${class}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "static const unsigned char kClass${index}[] = {\n${bytes}\n};\n")
  string(APPEND table "    {\"${name}\", kClass${index}, sizeof kClass${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${CLASS_DIR}; do not edit.\n"
  "#pragma once\n#include <cstddef>\n"
  "${arrays}"
  "struct EmbeddedClass { const char* name; const unsigned char* bytes; std::size_t size; };\n"
  "static const EmbeddedClass kServerClasses[] = {\n${table}};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
