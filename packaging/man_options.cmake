# Writes a manual page whose SYNOPSIS and OPTIONS come from the program's own --help, so that
# the two never say different things. Run at build time:
#   cmake -DPROGRAM=<program> -DIN=<page template> -DOUT=<page> -DVERSION=<version> -P man_options.cmake
# The template holds @MAN_SYNOPSIS@ (the options that do something, each in brackets) and
# @MAN_OPTIONS@ (every option, .TP paragraphs), besides @PROJECT_VERSION@. The help is Qt's:
# "Options:", then "  -h, --help    text", continued on lines indented to the text's column.

# A sanitizer build's program would report Qt's allocations left at exit as leaks.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()

# Roff text: a backslash is \e, a minus is \-, and a line must not start with a control character.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  if(text MATCHES "^[.']")
    set(text "\\&${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# "-h, --help" or "--record <FILE>": each name bold, the argument in italics.
function(roff_option out spec)
  set(parts)
  string(REPLACE ", " ";" names "${spec}")
  foreach(name IN LISTS names)
    if(name MATCHES "^([^ ]+) <([^>]+)>$")
      roff_text(flag "${CMAKE_MATCH_1}")
      list(APPEND parts "\\fB${flag}\\fR\\~\\fI${CMAKE_MATCH_2}\\fR")
    else()
      roff_text(flag "${name}")
      list(APPEND parts "\\fB${flag}\\fR")
    endif()
  endforeach()
  list(JOIN parts ", " joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

string(FIND "${help}" "\nOptions:\n" at)
if(at LESS 0)
  message(FATAL_ERROR "${PROGRAM} --help lists no options")
endif()
math(EXPR at "${at} + 10")
string(SUBSTRING "${help}" ${at} -1 listing)
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")

set(specs)      # one entry per option
set(texts)
set(current_spec "")
set(current_text "")
foreach(line IN LISTS lines)
  if(line MATCHES "^  (-[^ ].*[^ ])  +([^ ].*)$")
    if(current_spec)
      list(APPEND specs "${current_spec}")
      list(APPEND texts "${current_text}")
    endif()
    set(current_spec "${CMAKE_MATCH_1}")
    set(current_text "${CMAKE_MATCH_2}")
  elseif(line MATCHES "^ +([^ ].*)$" AND current_spec)
    string(APPEND current_text " ${CMAKE_MATCH_1}")
  elseif(NOT line STREQUAL "")
    break()
  endif()
endforeach()
if(current_spec)
  list(APPEND specs "${current_spec}")
  list(APPEND texts "${current_text}")
endif()

set(MAN_OPTIONS "")
set(MAN_SYNOPSIS "")
list(LENGTH specs count)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET specs ${i} spec)
  list(GET texts ${i} text)
  roff_option(option "${spec}")
  roff_text(body "${text}")
  string(APPEND MAN_OPTIONS ".TP\n${option}\n${body}\n")
  # Help and version only answer; the synopsis shows them on a line of their own.
  if(NOT spec MATCHES "--(help|version)$")
    string(APPEND MAN_SYNOPSIS "[${option}]\n")
  endif()
endforeach()
string(REGEX REPLACE "\n$" "" MAN_OPTIONS "${MAN_OPTIONS}")
string(REGEX REPLACE "\n$" "" MAN_SYNOPSIS "${MAN_SYNOPSIS}")

set(PROJECT_VERSION "${VERSION}")
configure_file(${IN} ${OUT} @ONLY)
