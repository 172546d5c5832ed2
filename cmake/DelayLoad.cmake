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
find_program(LUMORA_PYTHON NAMES python3 REQUIRED)

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
    # A member of this library looks to ld like an ordinary import stub: an
    # import slot in .idata$5 and a code section with a relocation. The
    # 32-bit ld drops such code when nothing names its symbol (code that
    # calls through __imp_, as the dllimport of the system headers does),
    # but here the slot itself points at that code: it is the thunk that
    # loads the DLL on the first call, and without it the slot is 0. Code
    # that ld does not take for a jump stub is kept, and the executable
    # section it lands in (.text, through .text$*) runs it all the same.
    execute_process(COMMAND ${CMAKE_OBJCOPY} --rename-section .text=.text$delay,contents,alloc,load,readonly,data
                            lib${name}_delay.a
      WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc)
    if(rc)
      message(FATAL_ERROR "objcopy could not mark the thunks of ${name}'s delay-load library")
    endif()
    add_library(lumora_delay_${name} INTERFACE)
    target_link_libraries(lumora_delay_${name} INTERFACE ${dir}/lib${name}_delay.a ${LUMORA_DELAYIMP_LIB})
  endforeach()
endfunction()

# lumora_check_delay_load(<target>): after each link, every delay-load import
# slot of the executable must point at code in it (tools/check-delay-imports.py).
function(lumora_check_delay_load target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${LUMORA_PYTHON} ${CMAKE_SOURCE_DIR}/tools/check-delay-imports.py $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
