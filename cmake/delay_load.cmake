# System DLLs that not every process of the installer needs are loaded when first called
# (delay-loaded) by the installer library: a short run (--version, the crash reporter)
# does not pay for the window's, the shell's or the network's libraries. The library's
# hooks (desktop/windows/installer/delay_load_hooks.cc) load them from the system folder
# only. Test programs and tools link the same code with the plain import libraries.
#
# Code links system libraries through tavro_link_system_libraries; a target that sets
# TAVRO_DELAY_LOAD (tavro_delay_load_system_libraries) gets the delay-load import library
# of each one that is not eager.

# What the library imports at load time: every role needs them. The dll_eager_imports
# test keeps the library's import table to this list.
set(TAVRO_EAGER_SYSTEM_LIBRARIES kernel32 advapi32 msvcrt)
# Everything else the code may link. user32 and gdi32 are also among the toolchain's
# default libraries: they are named here so that the delay-load ones come first.
set(TAVRO_DELAY_LOADED_SYSTEM_LIBRARIES
    user32 gdi32 shell32 shlwapi ole32 oleaut32 comctl32 uxtheme msimg32 gdiplus wininet
    winhttp crypt32 wintrust secur32 userenv psapi winmm version ws2_32)

set(tavro_delay_dir ${CMAKE_BINARY_DIR}/lib/delay_load)
set(tavro_delay_libraries)
foreach(lib IN LISTS TAVRO_DELAY_LOADED_SYSTEM_LIBRARIES)
  find_library(TAVRO_SYSTEM_IMPORT_LIBRARY_${lib} NAMES lib${lib}.a REQUIRED NO_CACHE)
  set(output ${tavro_delay_dir}/lib${lib}_delay.a)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${tavro_delay_dir}
    COMMAND bash ${CMAKE_SOURCE_DIR}/tools/make_delay_import_library.sh
            ${TAVRO_SYSTEM_IMPORT_LIBRARY_${lib}} ${output}
            ${CMAKE_SOURCE_DIR}/cmake/delay_load_tail_merge.S
    DEPENDS ${TAVRO_SYSTEM_IMPORT_LIBRARY_${lib}}
            ${CMAKE_SOURCE_DIR}/tools/make_delay_import_library.sh
            ${CMAKE_SOURCE_DIR}/cmake/delay_load_tail_merge.S
    COMMENT "Making the delay-load import library of ${lib}" VERBATIM)
  list(APPEND tavro_delay_libraries ${output})
endforeach()
add_custom_target(tavro_delay_import_libraries DEPENDS ${tavro_delay_libraries})

# tavro_link_system_libraries(TARGET SCOPE LIB...): links system import libraries; on a
# target that delay-loads, each delay-loaded one comes as its delay-load import library.
function(tavro_link_system_libraries target scope)
  foreach(lib IN LISTS ARGN)
    if(lib IN_LIST TAVRO_DELAY_LOADED_SYSTEM_LIBRARIES)
      set(lib "$<IF:$<BOOL:$<TARGET_PROPERTY:TAVRO_DELAY_LOAD>>,${tavro_delay_dir}/lib${lib}_delay.a,${lib}>")
    endif()
    target_link_libraries(${target} ${scope} ${lib})
  endforeach()
endfunction()

# tavro_delay_load_system_libraries(TARGET): TARGET, a module that carries the hooks,
# delay-loads every system library that is not eager.
function(tavro_delay_load_system_libraries target)
  set_target_properties(${target} PROPERTIES TAVRO_DELAY_LOAD ON)
  add_dependencies(${target} tavro_delay_import_libraries)
endfunction()
