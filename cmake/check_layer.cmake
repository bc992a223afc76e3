# Fails when a file of LAYER includes a header of the project that belongs to a layer
# outside ALLOWED (comma-separated), or to no layer at all; touches STAMP otherwise.
# FILES lists the layer's files (full paths, a line each); OWNERS maps each file of a layer
# to its layer ("<layer> <path>" a line, paths as the includes write them).
# See cmake/layers.cmake.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "," ";" allowed "${ALLOWED}")
file(STRINGS ${OWNERS} owner_lines)
foreach(line IN LISTS owner_lines)
  string(FIND "${line}" " " space)
  string(SUBSTRING "${line}" 0 ${space} layer)
  math(EXPR start "${space} + 1")
  string(SUBSTRING "${line}" ${start} -1 path)
  set(owner_${path} ${layer})
endforeach()

file(STRINGS ${FILES} files)
set(errors 0)
foreach(file IN LISTS files)
  file(RELATIVE_PATH relative ${SOURCE_DIR} ${file})
  get_filename_component(folder ${relative} DIRECTORY)
  # Both forms: a header of ours named in angle brackets is as much a dependency as one
  # in quotes, and the compiler finds it from the top of the tree all the same.
  file(STRINGS ${file} include_lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS include_lines)
    if(line MATCHES "include[ \t]*\"([^\"]+)\"")
      set(included ${CMAKE_MATCH_1})
      set(quoted TRUE)
    elseif(line MATCHES "include[ \t]*<([^>]+)>")
      set(included ${CMAKE_MATCH_1})
      set(quoted FALSE)
    else()
      continue()
    endif()
    # As the compiler looks: a quoted name beside the including file first, then from the
    # top; a name in angle brackets from the top only.
    if(quoted AND folder AND (EXISTS ${SOURCE_DIR}/${folder}/${included}
                              OR DEFINED owner_${folder}/${included}))
      set(path ${folder}/${included})
    else()
      set(path ${included})
    endif()
    cmake_path(NORMAL_PATH path)
    if(DEFINED owner_${path})
      set(owner ${owner_${path}})
      if(owner IN_LIST allowed)
        continue()
      endif()
      set(problem "a header of ${owner}, a layer that ${LAYER} does not use")
    elseif(EXISTS ${SOURCE_DIR}/${path} AND NOT IS_DIRECTORY ${SOURCE_DIR}/${path})
      set(problem "a header of no layer")
    else()
      continue()  # Not the project's: the system's or a third-party library's.
    endif()
    file(READ ${file} content)
    string(FIND "${content}" "${line}" offset)
    string(SUBSTRING "${content}" 0 ${offset} before)
    string(REGEX MATCHALL "\n" newlines "${before}")
    list(LENGTH newlines line_number)
    math(EXPR line_number "${line_number} + 1")
    message(SEND_ERROR "${relative}:${line_number}: includes ${path}, ${problem} "
                       "(layers it may include: ${ALLOWED}; see cmake/layers.cmake)")
    math(EXPR errors "${errors} + 1")
  endforeach()
endforeach()
if(errors GREATER 0)
  message(FATAL_ERROR "${errors} include(s) in ${LAYER} reach outside the layers it uses")
endif()
file(TOUCH ${STAMP})
