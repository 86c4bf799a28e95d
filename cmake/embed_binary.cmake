# Turns a binary file into a C++ source defining `const uint8_t NAME[]` and
# `const size_t NAME_SIZE`-style symbols. Run with -DINPUT= -DOUTPUT= -DSYMBOL=.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <cstddef>\n#include <cstdint>\n"
  "extern const uint8_t ${SYMBOL}[] = {\n${bytes}\n};\n"
  "extern const size_t ${SYMBOL}Size = ${size};\n")
