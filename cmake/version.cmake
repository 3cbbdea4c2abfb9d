# The console's version: what it may be, and how it is written into the texts
# the build generates (C++, shell, property lists).

# Stops the configuration with `text`, one line: CMake leaves a line that begins
# with a space as it stands instead of wrapping it.
function(tovren_refuse text)
  message(FATAL_ERROR " ${text}")
endfunction()

# The characters a version may hold: it ends the console's file name and stands
# in the launch agent's property list and in file names of the release.
set(TOVREN_VERSION_CHARACTERS "letters, digits, \".\", \"-\", \"_\" and \"+\"")

# Stops the configuration unless `version` is one setup can install: of the
# characters above, beginning with a number, and short enough that every name
# setup derives from it fits in a file name (255 bytes): the console's
# "console-<version>-<architecture>", and the temporary file its atomic write
# takes beside it, "." and that name and ".tmp-" and six characters.
function(tovren_check_version version)
  set(longest 0)
  foreach(row ${TOVREN_ROWS})
    string(LENGTH ".console--${row}.tmp-XXXXXX" length)
    if(length GREATER longest)
      set(longest ${length})
    endif()
  endforeach()
  math(EXPR most "255 - ${longest}")
  string(LENGTH "${version}" length)
  set(fault "")
  if(NOT version MATCHES "^[0-9A-Za-z${TOVREN_VERSION_PUNCTUATION}]*$")
    set(fault "holds characters other than ${TOVREN_VERSION_CHARACTERS}")
  elseif(NOT version MATCHES "^[0-9]")
    set(fault "does not begin with a number, which the macOS bundle's version needs")
  elseif(length GREATER most)
    set(fault "has ${length} characters, more than the ${most} that fit in the file names setup makes of it")
  endif()
  if(fault)
    # Shown on one line, whatever it holds.
    string(REPLACE "\n" "\\n" version "${version}")
    string(REPLACE "\r" "\\r" version "${version}")
    tovren_refuse("TOVREN_CONSOLE_VERSION \"${version}\" ${fault}: give your console's version, \
e.g. -DTOVREN_CONSOLE_VERSION=1.4.2")
  endif()
endfunction()

# Sets `var`_CPP, `var`_SH and `var`_XML to `value` as a C++ string literal, a shell
# word in single quotes and property-list text: whatever its characters, none
# can end the text early or be taken as code.
function(tovren_quote value var)
  string(HEX "${value}" hex)
  string(LENGTH "${hex}" digits)
  set(cpp "")
  set(at 0)
  while(at LESS digits)
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR code "0x${byte}")
    string(ASCII ${code} character)
    if(character MATCHES "^[0-9A-Za-z._+-]$")
      string(APPEND cpp "${character}")
    else()
      # Octal, as hexadecimal escapes run on into the digits after them.
      math(EXPR high "${code} / 64")
      math(EXPR middle "${code} / 8 % 8")
      math(EXPR low "${code} % 8")
      string(APPEND cpp "\\${high}${middle}${low}")
    endif()
    math(EXPR at "${at} + 2")
  endwhile()
  string(REPLACE "'" "'\\''" sh "${value}")
  string(REPLACE "&" "&amp;" xml "${value}")
  string(REPLACE "<" "&lt;" xml "${xml}")
  string(REPLACE ">" "&gt;" xml "${xml}")
  string(REPLACE "\"" "&quot;" xml "${xml}")
  string(REPLACE "'" "&apos;" xml "${xml}")
  set(${var}_CPP "\"${cpp}\"" PARENT_SCOPE)
  set(${var}_SH "'${sh}'" PARENT_SCOPE)
  set(${var}_XML "${xml}" PARENT_SCOPE)
endfunction()
