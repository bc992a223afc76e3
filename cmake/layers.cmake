# The layers of the code, from the bottom: the base library; the preference store and the
# hash object; the installer services; crash reporting; the installer engine; the front
# end; the library's entry on top. Each layer is a static library that links the layers it
# uses, and its files may include headers of those layers only (and of the layers they use
# in turn): the build checks every file of a layer before it compiles the layer, and names
# each include that reaches a layer it does not use (cmake/check_layer.cmake). Headers
# belong to the layer whose files list them; a header of the project that belongs to no
# layer (test helpers, say) may not be included by a layer at all.

# tavro_add_layer(NAME FILES file... [USES layer...]): the static library NAME of the .cc
# files among FILES (which lists the layer's headers too), linking the layers in USES.
function(tavro_add_layer name)
  cmake_parse_arguments(L "" "" "FILES;USES" ${ARGN})
  set(sources ${L_FILES})
  list(FILTER sources INCLUDE REGEX "\\.cc$")
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC ${L_USES})
  tavro_declare_layer(${name} FILES ${L_FILES} USES ${L_USES})
endfunction()

# tavro_declare_layer(TARGET FILES file... [USES layer...]): checks the includes of FILES,
# which TARGET builds, against the layers in USES, without linking them (for a target
# that has them linked by those who link it).
function(tavro_declare_layer target)
  cmake_parse_arguments(L "" "" "FILES;USES" ${ARGN})
  set(files)
  foreach(file IN LISTS L_FILES)
    cmake_path(ABSOLUTE_PATH file NORMALIZE)
    list(APPEND files ${file})
  endforeach()
  set_property(TARGET ${target} PROPERTY TAVRO_LAYER_FILES ${files})
  set_property(TARGET ${target} PROPERTY TAVRO_LAYER_USES ${L_USES})
  set_property(GLOBAL APPEND PROPERTY TAVRO_LAYERS ${target})
endfunction()

# The layers |layer| may include from: itself and every layer it uses, directly or not.
function(tavro_layer_closure layer out)
  set(closure ${layer})
  set(pending ${layer})
  while(pending)
    list(POP_FRONT pending current)
    get_property(uses TARGET ${current} PROPERTY TAVRO_LAYER_USES)
    foreach(used IN LISTS uses)
      get_property(is_layer TARGET ${used} PROPERTY TAVRO_LAYER_FILES SET)
      if(is_layer AND NOT used IN_LIST closure)
        list(APPEND closure ${used})
        list(APPEND pending ${used})
      endif()
    endforeach()
  endwhile()
  set(${out} ${closure} PARENT_SCOPE)
endfunction()

# Adds the include check of every declared layer; called once every layer is declared.
function(tavro_check_layers)
  set(layer_dir ${CMAKE_BINARY_DIR}/layers)
  get_property(layers GLOBAL PROPERTY TAVRO_LAYERS)
  # Which layer each header and source belongs to: "<layer> <path below the source tree
  # or the generated tree>" a line.
  set(owners "")
  foreach(layer IN LISTS layers)
    get_property(files TARGET ${layer} PROPERTY TAVRO_LAYER_FILES)
    foreach(file IN LISTS files)
      cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${file}" generated)
      if(generated)
        file(RELATIVE_PATH path ${CMAKE_BINARY_DIR}/gen ${file})
      else()
        file(RELATIVE_PATH path ${CMAKE_SOURCE_DIR} ${file})
      endif()
      string(APPEND owners "${layer} ${path}\n")
    endforeach()
  endforeach()
  file(GENERATE OUTPUT ${layer_dir}/owners.txt CONTENT "${owners}")

  foreach(layer IN LISTS layers)
    get_property(files TARGET ${layer} PROPERTY TAVRO_LAYER_FILES)
    tavro_layer_closure(${layer} allowed)
    string(JOIN "," allowed ${allowed})
    # Generated files are written by the build itself.
    set(checked ${files})
    list(FILTER checked EXCLUDE REGEX "^${CMAKE_BINARY_DIR}/")
    string(JOIN "\n" checked_lines ${checked})
    file(GENERATE OUTPUT ${layer_dir}/${layer}.files CONTENT "${checked_lines}\n")
    set(stamp ${layer_dir}/${layer}.stamp)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DLAYER=${layer} -DALLOWED=${allowed}
              -DFILES=${layer_dir}/${layer}.files -DOWNERS=${layer_dir}/owners.txt
              -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DSTAMP=${stamp}
              -P ${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
      DEPENDS ${checked} ${layer_dir}/${layer}.files ${layer_dir}/owners.txt
              ${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
      COMMENT "Checking the includes of ${layer}" VERBATIM)
    add_custom_target(${layer}_includes DEPENDS ${stamp})
    add_dependencies(${layer} ${layer}_includes)
  endforeach()

  # The check itself: it must see an include of a higher layer in either form.
  add_test(NAME layer_check
           COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
                   -DWORK_DIR=${CMAKE_BINARY_DIR}/layer_check_test
                   -P ${CMAKE_SOURCE_DIR}/cmake/check_layer_test.cmake)
endfunction()
