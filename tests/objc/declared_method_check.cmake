# The class builder's compile-time check of a method against its declaration, kept from
# silently disappearing: compiles declared_method_check.cpp once per case with the command
# line the build itself used for it (from compile_commands.json), and fails unless the
# plain file compiles and every case is refused with the builder's reason.
#
#   cmake -DCOMPILE_COMMANDS=<build>/compile_commands.json -DSOURCE=<the .cpp> -P <this>
if(NOT EXISTS "${COMPILE_COMMANDS}")
  message(FATAL_ERROR "no compilation database at ${COMPILE_COMMANDS}")
endif()
file(READ "${COMPILE_COMMANDS}" database)
string(JSON entries LENGTH "${database}")
math(EXPR last "${entries} - 1")
set(command "")
foreach(i RANGE ${last})
  string(JSON file GET "${database}" ${i} file)
  if(file STREQUAL SOURCE)
    string(JSON command GET "${database}" ${i} command)
    string(JSON directory GET "${database}" ${i} directory)
    break()
  endif()
endforeach()
if(command STREQUAL "")
  message(FATAL_ERROR "${SOURCE} is not in ${COMPILE_COMMANDS}: is it still built?")
endif()

# The build's command without its outputs: -o, the dependency file and -c <source>.
separate_arguments(arguments UNIX_COMMAND "${command}")
set(compile "")
set(skip_next FALSE)
foreach(argument IN LISTS arguments)
  if(skip_next)
    set(skip_next FALSE)
  elseif(argument MATCHES "^-(o|MF|MT|MQ|c)$")
    set(skip_next TRUE)
  elseif(NOT argument STREQUAL "-MD")
    list(APPEND compile "${argument}")
  endif()
endforeach()

set(missing_types "the implementation's types differ from the message's declaration")
set(no_declaration "a method is registered from its typed declaration")
set(cases
  ARGUMENT missing_types
  RESULT missing_types
  NO_CMD missing_types
  SELECTOR_STRING no_declaration
  UNTYPED_SELECTOR no_declaration
  CLASS_METHOD missing_types
  ENCODING_OVERRIDE missing_types
  HOST_MESSAGE missing_types)

set(failures "")
execute_process(COMMAND ${compile} -fsyntax-only -c "${SOURCE}"
                WORKING_DIRECTORY "${directory}" RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  string(APPEND failures "the matching registrations do not compile:\n${out}\n")
endif()
list(LENGTH cases count)
math(EXPR pairs "${count} / 2 - 1")
foreach(i RANGE ${pairs})
  math(EXPR at "${i} * 2")
  math(EXPR reason_at "${at} + 1")
  list(GET cases ${at} name)
  list(GET cases ${reason_at} reason_name)
  set(reason "${${reason_name}}")
  execute_process(COMMAND ${compile} -fsyntax-only -DHV_CASE_${name} -c "${SOURCE}"
                  WORKING_DIRECTORY "${directory}" RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  string(FIND "${out}" "${reason}" found)
  if(status EQUAL 0)
    string(APPEND failures "case ${name} compiled\n")
  elseif(found EQUAL -1)
    string(APPEND failures "case ${name} failed without \"${reason}\":\n${out}\n")
  else()
    message(STATUS "case ${name}: refused (${reason})")
  endif()
endforeach()
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()
