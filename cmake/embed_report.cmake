# Writes the source that carries the match report's fixed parts into kest: the bytes of its style
# sheet and script, and the hash of each that the page's content security policy allows.
#     cmake -DSTYLE=report.css -DSCRIPT=report.js -DOUTPUT=report_assets.cpp -P embed_report.cmake
# The bytes go in as numbers, so that no character of the files can end a literal early.

# A hexadecimal digest in base64, as a policy's 'sha256-...' source gives it.
function(base64_of_hex hex result)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  string(LENGTH "${hex}" digits)
  set(text "")
  set(at 0)
  while(at LESS digits)
    string(SUBSTRING "${hex}" ${at} 6 group)
    string(LENGTH "${group}" group_digits)
    math(EXPR bytes "${group_digits} / 2")
    math(EXPR value "(0x${group}) << (8 * (3 - ${bytes}))")
    foreach(sextet RANGE 3)
      if(sextet GREATER bytes)
        string(APPEND text "=")
      else()
        math(EXPR index "(${value} >> (18 - 6 * ${sextet})) & 63")
        string(SUBSTRING "${alphabet}" ${index} 1 character)
        string(APPEND text "${character}")
      endif()
    endforeach()
    math(EXPR at "${at} + 6")
  endwhile()
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

# The file's bytes as an array and its hash, added to the source in `text`.
function(embed path name text)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x..," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  file(SHA256 "${path}" digest)
  base64_of_hex("${digest}" hash)
  set(${text} "${${text}}
namespace {
const char ${name}Bytes[] = {
    ${bytes}
};
}  // namespace
const std::string_view ${name}(${name}Bytes, sizeof ${name}Bytes);
const std::string_view ${name}Hash = \"'sha256-${hash}'\";
" PARENT_SCOPE)
endfunction()

set(source "// Made by cmake/embed_report.cmake from ${STYLE} and ${SCRIPT}: edit those.
#include \"log/report_assets.h\"

namespace kest::report {
")
embed("${STYLE}" Style source)
embed("${SCRIPT}" Script source)
string(APPEND source "
}  // namespace kest::report
")
file(WRITE "${OUTPUT}" "${source}")
