# Writes a C++ source holding the bytes of the given files, so that nothing beyond CMake is needed
# to embed them.
#   cmake -DINPUT_DIR=<dir> -DFILES="a;b;..." -DOUTPUT=<file.cpp> -P EmbedFiles.cmake

if(NOT INPUT_DIR OR NOT FILES OR NOT OUTPUT)
  message(FATAL_ERROR "EmbedFiles.cmake needs INPUT_DIR, FILES and OUTPUT")
endif()

string(REPEAT "." 48 row) # 24 bytes per line, as hex digits
set(body "")
set(table "")
set(index 0)
foreach(name IN LISTS FILES)
  file(READ "${INPUT_DIR}/${name}" hex HEX)
  file(SIZE "${INPUT_DIR}/${name}" size)
  if(size EQUAL 0)
    message(FATAL_ERROR "${INPUT_DIR}/${name} is empty")
  endif()
  string(REGEX REPLACE "(${row})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(APPEND body "const unsigned char kData${index}[${size}] = {\n${hex}\n};\n\n")
  string(APPEND table "    {\"${name}\", kData${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(text "// Written by EmbedFiles.cmake from the files in resources/. Do not edit.\n")
string(APPEND text "#include \"EmbeddedFiles.h\"\n\nnamespace ombrine::embedded {\n\nnamespace {\n\n")
string(APPEND text "${body}} // namespace\n\n")
string(APPEND text "extern const File kFiles[] = {\n${table}};\n")
string(APPEND text "extern const std::size_t kFileCount = ${index};\n\n} // namespace ombrine::embedded\n")

# Leave an unchanged file alone so that the library is not rebuilt for nothing.
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
