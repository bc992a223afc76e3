# The build date of the installer library (installer::kBuildDate), and the checks of what
# the library is made of. Included by the top-level CMakeLists.txt after every target that
# goes into the library is defined, since the library links layers of several directories.
#
# The date lives in a one-file library whose source (cmake/write_build_date.cmake) is
# written again whenever anything that goes into the DLL was rebuilt or changed: the
# entry's objects and resources, the .def file, and every static library linked in, ours
# and the third-party ones. So the date is that of the build that made the DLL, while a
# build that changes nothing stays a no-op.

# Appends to |out| the files that linking |target| reads from the targets it links:
# objects of object libraries and static libraries (imported ones included), following
# the transitive links of static and interface libraries. |own| receives only those made
# by this project. System import libraries are no inputs that change with the build.
function(tavro_collect_link_inputs target out own)
  set(inputs ${${out}})
  set(own_inputs ${${own}})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
    get_target_property(links ${target} LINK_LIBRARIES)
  else()
    get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
  endif()
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
    if(NOT TARGET ${link} OR link STREQUAL "tavro_build_date")
      continue()
    endif()
    get_target_property(link_type ${link} TYPE)
    get_target_property(imported ${link} IMPORTED)
    if(link_type STREQUAL "OBJECT_LIBRARY")
      set(file "$<TARGET_OBJECTS:${link}>")
    elseif(link_type STREQUAL "STATIC_LIBRARY")
      set(file "$<TARGET_FILE:${link}>")
    elseif(link_type STREQUAL "INTERFACE_LIBRARY")
      set(file "")
    else()
      continue()
    endif()
    if(file AND NOT file IN_LIST inputs)
      list(APPEND inputs "${file}")
      if(NOT imported)
        list(APPEND own_inputs "${file}")
      endif()
      tavro_collect_link_inputs(${link} inputs own_inputs)
    elseif(NOT file)
      tavro_collect_link_inputs(${link} inputs own_inputs)
    endif()
  endforeach()
  set(${out} ${inputs} PARENT_SCOPE)
  set(${own} ${own_inputs} PARENT_SCOPE)
endfunction()

set(installer_dir ${CMAKE_SOURCE_DIR}/desktop/windows/installer)
set(installer_inputs ${installer_dir}/tavro_installer.def)
set(installer_own_inputs)
tavro_collect_link_inputs(tavro_installer installer_inputs installer_own_inputs)

set(build_date_source ${CMAKE_BINARY_DIR}/gen/desktop/windows/installer/service/build_date.cc)
# The third-party prefix is named on the command line: switching to another prefix, whose
# files may be older than the last date, takes a new date too.
add_custom_command(OUTPUT ${build_date_source}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${build_date_source} -DFIXED_DATE=${TAVRO_FIXED_BUILD_DATE}
          -DLIBRARIES=${TAVRO_DEPS_PREFIX} -P ${CMAKE_SOURCE_DIR}/cmake/write_build_date.cmake
  DEPENDS ${installer_inputs} ${CMAKE_SOURCE_DIR}/cmake/write_build_date.cmake
  COMMENT "Taking the build date" VERBATIM)
add_library(tavro_build_date STATIC ${build_date_source})
# Whatever links the top layers links the date, which the services read. Not the services
# themselves: the layers above them would then wait for the date, which waits for them.
target_link_libraries(tavro_installer_frontend INTERFACE tavro_build_date)
target_link_libraries(tavro_crash_reporter INTERFACE tavro_build_date)

# The lists the checks below read: every input of the library, and this project's own.
set(installer_inputs_file ${CMAKE_BINARY_DIR}/installer_inputs.txt)
set(installer_own_inputs_file ${CMAKE_BINARY_DIR}/installer_own_inputs.txt)
file(GENERATE OUTPUT ${installer_inputs_file} CONTENT "$<JOIN:${installer_inputs},\n>\n")
file(GENERATE OUTPUT ${installer_own_inputs_file} CONTENT "$<JOIN:${installer_own_inputs},\n>\n")

# The library carries the date of its latest build: not older than any of its inputs.
add_test(NAME build_date
         COMMAND ${CMAKE_SOURCE_DIR}/tools/check_build_date.sh $<TARGET_FILE:tavro_installer>
                 ${installer_inputs_file} "${TAVRO_FIXED_BUILD_DATE}")
set_tests_properties(build_date PROPERTIES SKIP_RETURN_CODE 125)

# Nothing of ours runs at load time or registers a destructor for unload, except the
# entry's own initialisers.
add_test(NAME load_time_work
         COMMAND ${CMAKE_SOURCE_DIR}/tools/check_load_time_work.sh ${installer_own_inputs_file})
