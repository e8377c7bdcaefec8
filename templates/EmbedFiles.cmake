# cmake -DOUTPUT=<file.cpp> -DINPUTS=<a.jpg;b.jpg;...> -P EmbedFiles.cmake
# Writes one C++ source with each input file as a byte array, in order:
# kEmbeddedFiles[i] is the i-th input.
set(body "")
set(table "")
set(index 0)
foreach(input IN LISTS INPUTS)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  string(APPEND body "alignas(16) const std::uint8_t kFile${index}[${size}] = {\n${bytes}\n};\n")
  string(APPEND table "    {kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from the template pictures; do not edit.\n#include <cstddef>\n#include <cstdint>\n#include <span>\n\nnamespace mugrove::embedded {\nnamespace {\n${body}} // namespace\n\nextern const std::span<const std::uint8_t> kEmbeddedFiles[${index}] = {\n${table}};\n\n} // namespace mugrove::embedded\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
