# A desktop entry's Exec and TryExec lines for a program's path, quoted as the settings dialog
# quotes the idle watcher's entry. Included by the install step, which alone knows the path.

# The value's own escapes of a desktop entry string.
function(tundrel_entry_escape text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# tundrel_entry_with_program(<entry> <program> <out>): the entry's text with the path of its
# "Exec=" and "TryExec=" lines replaced by program. In Exec the path is one argument: in double
# quotes where it holds a reserved character, with '"', '`', '$' and '\' escaped, '%' doubled.
function(tundrel_entry_with_program entry program out)
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" argument "${program}")
  string(REPLACE "%" "%%" argument "${argument}")
  if(program MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
    set(argument "\"${argument}\"")
  endif()
  tundrel_entry_escape("${argument}" Exec_value)
  tundrel_entry_escape("${program}" TryExec_value)
  foreach(key Exec TryExec)
    # The source's path goes up to the first blank; the arguments after it stay.
    string(REGEX MATCH "\n${key}=/[^ \n]*" line "${entry}")
    if(line)
      string(REPLACE "${line}" "\n${key}=${${key}_value}" entry "${entry}")
    endif()
  endforeach()
  set(${out} "${entry}" PARENT_SCOPE)
endfunction()
