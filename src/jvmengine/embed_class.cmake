# Writes the one class file in CLASS_DIR as a C++ byte array named NAME into
# the header OUTPUT. Fails if javac made more or fewer than one class file:
# the library defines exactly one class from its own bytes.
file(GLOB classes "${CLASS_DIR}/*.class")
list(LENGTH classes count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected exactly one class file in ${CLASS_DIR}, found: ${classes}")
endif()
file(READ "${classes}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${classes}; do not edit.\n"
  "#pragma once\n"
  "static const unsigned char ${NAME}[] = {\n${bytes}\n};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
