# Writes a C++ source holding the translation texts, so that the installed
# tool needs no source tree:  cmake -DOUTPUT=file.cpp -DSOURCES="a.txt;b.txt" -P embed_translations.cmake
set(body "")
set(entries "")
set(index 0)
foreach(source IN LISTS SOURCES)
  get_filename_component(name "${source}" NAME)
  file(READ "${source}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const unsigned char kText${index}[] = {${bytes}0x00};\n")
  string(APPEND entries "      {\"${name}\", std::string(reinterpret_cast<const char*>(kText${index}), sizeof kText${index} - 1)},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
"// Generated from the languages folder by embed_translations.cmake. Do not edit.
#include \"translation_tables.h\"

namespace admin {

namespace {
${body}}  // namespace

const std::vector<TranslationSource>& builtInTranslationSources() {
  static const std::vector<TranslationSource> sources = {
${entries}  };
  return sources;
}

}  // namespace admin
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
