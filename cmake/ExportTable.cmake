# Reads the ordered export table and yields its names.
function(morvex_read_export_table table out_var)
  morvex_read_export_ordinals(${table} items)
  list(TRANSFORM items REPLACE "@[0-9]+$" "")
  set(${out_var} ${items} PARENT_SCOPE)
endfunction()

# A linker version script that keeps exactly `names` global.
function(morvex_write_version_script path names)
  set(text "{\n  global:\n")
  foreach(name IN LISTS names)
    string(APPEND text "    ${name};\n")
  endforeach()
  string(APPEND text "  local:\n    *;\n};\n")
  file(WRITE ${path}.tmp "${text}")
  configure_file(${path}.tmp ${path} COPYONLY)
endfunction()

# The entries of the export table as NAME@ORDINAL items, in table order.
function(morvex_read_export_ordinals table out_var)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${table})
  file(STRINGS ${table} lines REGEX "^MORVEX_EXPORT_ENTRY")
  set(items "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^MORVEX_EXPORT_ENTRY\\(([0-9]+), *([A-Za-z0-9_]+)\\)")
      list(APPEND items "${CMAKE_MATCH_2}@${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out_var} ${items} PARENT_SCOPE)
endfunction()

# Writes `content` to `path` only when it changed, so rebuilds stay incremental.
function(morvex_write_if_changed path content)
  file(WRITE ${path}.tmp "${content}")
  configure_file(${path}.tmp ${path} COPYONLY)
endfunction()

# A Windows module-definition file: the DLL's name and each export,
# undecorated, at its fixed ordinal.
function(morvex_write_module_definition path dll_name items)
  set(text "LIBRARY \"${dll_name}\"\nEXPORTS\n")
  foreach(item IN LISTS items)
    string(REPLACE "@" ";" parts "${item}")
    list(GET parts 0 name)
    list(GET parts 1 ordinal)
    string(APPEND text "    ${name} @${ordinal}\n")
  endforeach()
  morvex_write_if_changed(${path} "${text}")
endfunction()

# Forwarding thunks for the Windows test programs: one function per
# export, under the export's own name, that passes the caller's stack on to
# the function of that name in the DLL (see tests/support/dll_forward.h).
function(morvex_write_dll_thunks path items)
  set(text "// Generated from src/exports/export_table.inc at configure time.\n")
  string(APPEND text "#include \"support/dll_forward.h\"\n\n")
  string(APPEND text "const char* const morvex_dll_export_names[] = {\n")
  set(asm "")
  set(index 0)
  foreach(item IN LISTS items)
    string(REPLACE "@" ";" parts "${item}")
    list(GET parts 0 name)
    string(APPEND text "    \"${name}\",\n")
    string(APPEND asm "MORVEX_DLL_THUNK(${name}, ${index})\n")
    math(EXPR index "${index} + 1")
  endforeach()
  string(APPEND text "    nullptr};\nconst int morvex_dll_export_count = ${index};\n\n${asm}")
  morvex_write_if_changed(${path} "${text}")
endfunction()
