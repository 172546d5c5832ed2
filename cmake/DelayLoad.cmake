# Import libraries that load their DLL on first use instead of at process
# start. At start the loader looks in the executable's folder first, where
# anyone who can write there could put a DLL of the same name; by first use
# the program has limited the search to the system folder
# (SetDefaultDllDirectories at start-up), and the delay-load helper asks the
# loader through that search.
#
# lumora_delay_load(<dll base name>...) defines lumora_delay_<name> for
# each: link it instead of <name>. MinGW ships no definition files, so each
# is written from the toolchain's own import library.
find_program(LUMORA_DLLTOOL ${LUMORA_TARGET_ARCH}-w64-mingw32-dlltool REQUIRED)
find_library(LUMORA_DELAYIMP_LIB delayimp REQUIRED)

function(lumora_delay_load)
  set(dir ${CMAKE_BINARY_DIR}/delayimp)
  file(MAKE_DIRECTORY ${dir})
  foreach(name ${ARGN})
    find_library(_implib_${name} ${name} REQUIRED)
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${_implib_${name}}
      OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(rc)
      message(FATAL_ERROR "cannot read ${_implib_${name}}")
    endif()
    # Code symbols of the import library are its functions; 32-bit ones
    # carry a leading underscore and their @size, which -k leaves out of
    # the name the DLL is asked for.
    string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" lines "${symbols}")
    set(def "LIBRARY ${name}.dll\nEXPORTS\n")
    foreach(line ${lines})
      string(REGEX REPLACE "^[0-9a-fA-F]+ T _?" "" fn "${line}")
      string(APPEND def "${fn}\n")
    endforeach()
    file(WRITE ${dir}/${name}.def "${def}")
    set(kill "")
    if(LUMORA_TARGET_ARCH STREQUAL "i686")
      set(kill -k)
    endif()
    # dlltool names the library's symbols after the path it is given and
    # its temporary objects after a process id: both fixed here, or the
    # executable would differ from one build folder to the next.
    execute_process(COMMAND ${LUMORA_DLLTOOL} ${kill} -d ${name}.def -y lib${name}_delay.a -D ${name}.dll
                            --temp-prefix ${name}_delay
      WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc)
    if(rc)
      message(FATAL_ERROR "dlltool could not make the delay-load library of ${name}")
    endif()
    add_library(lumora_delay_${name} INTERFACE)
    target_link_libraries(lumora_delay_${name} INTERFACE ${dir}/lib${name}_delay.a ${LUMORA_DELAYIMP_LIB})
  endforeach()
endfunction()
