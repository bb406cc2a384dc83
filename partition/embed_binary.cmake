# Turns a binary file into a comma-separated list of byte values for a C++ array initialiser.
# Usage: cmake -DINPUT=file.bin -DOUTPUT=file.inc -P embed_binary.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "${bytes}\n")
