# Constants that differ between executables built from one tree: the
# publisher's public key that manifests must be signed with (none: the build
# acts on unsigned manifests), the scheme of the web pages, and the manifest
# endpoint (by default LUMORA_UPDATE_SCHEME and LUMORA_UPDATE_HOST).
find_program(LUMORA_PYTHON NAMES python3 REQUIRED)

# lumora_build_config(<target> <public key PEM or ""> <web scheme> [<update scheme> <update host>])
function(lumora_build_config target key_pem web_scheme)
  set(update_scheme "${LUMORA_UPDATE_SCHEME}")
  set(update_host "${LUMORA_UPDATE_HOST}")
  if(ARGC GREATER 3)
    set(update_scheme "${ARGV3}")
    set(update_host "${ARGV4}")
  endif()
  # Up to three keys, separated by ';' (a CMake list): a build that trusts
  # the old and the new key lets the publisher move to the new one.
  set(LUMORA_HAS_KEY false)
  set(LUMORA_KEY_COUNT 0)
  set(LUMORA_KEY_BYTES "")
  list(LENGTH key_pem key_count)
  if(key_count GREATER 3)
    message(FATAL_ERROR "LUMORA_UPDATE_PUBLIC_KEY for ${target}: at most three keys, not ${key_count}")
  endif()
  foreach(pem IN LISTS key_pem)
    get_filename_component(pem "${pem}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
    execute_process(COMMAND ${LUMORA_PYTHON} ${CMAKE_SOURCE_DIR}/tools/p256-public-key.py ${pem}
      OUTPUT_VARIABLE key_bytes ERROR_VARIABLE key_error RESULT_VARIABLE key_rc
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
    if(NOT key_rc EQUAL 0)
      message(FATAL_ERROR "LUMORA_UPDATE_PUBLIC_KEY for ${target}: ${key_error}")
    endif()
    set(LUMORA_HAS_KEY true)
    math(EXPR LUMORA_KEY_COUNT "${LUMORA_KEY_COUNT} + 1")
    string(APPEND LUMORA_KEY_BYTES "{${key_bytes}},")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pem}")
  endforeach()
  if(NOT web_scheme MATCHES "^https?$")
    message(FATAL_ERROR "LUMORA_WEB_SCHEME must be http or https, not '${web_scheme}'")
  endif()
  if(NOT update_scheme MATCHES "^https?$")
    message(FATAL_ERROR "LUMORA_UPDATE_SCHEME must be http or https, not '${update_scheme}'")
  endif()
  set(LUMORA_WEB_BASE "${web_scheme}://${LUMORA_WEB_HOST}")
  set(LUMORA_MANIFEST_URL "${update_scheme}://${update_host}/Client/refresh")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}-config.cpp)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/BuildConfig.cpp.in ${out} @ONLY)
  target_sources(${target} PRIVATE ${out})
endfunction()
