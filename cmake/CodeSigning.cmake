# Authenticode signing of the installer with Debian's osslsigncode, where the vendor has a
# code-signing certificate:
#
#   velquor_sign_executable(<target> [PKCS12 <file>] [PASSWORD_FILE <file>] [TIMESTAMP_URL <url>])
#
# signs <target> (SHA-256) after every link, by default with the cache variables below; without
# a PKCS12 file it does nothing. osslsigncode reads the password from its file (-readpass), so it
# never stands on a command line that a build log or a process list shows. The signed image is
# written beside the target and moved over it; a failed signing deletes the unsigned exe, so a
# build that was meant to sign never leaves one to ship. Call it last among a target's
# POST_BUILD steps: any later change to the image breaks the signature.
#
# The same file, run with cmake -P, is that signing step.

if(CMAKE_SCRIPT_MODE_FILE)
  # -DOSSLSIGNCODE= -DFILE= -DPKCS12= -DPASSWORD_FILE= [-DTIMESTAMP_URL=]
  set(signed "${FILE}.signing")
  file(REMOVE "${signed}")
  set(options)
  # Without a password file the .p12 must have no password; osslsigncode never prompts.
  if(NOT "${PASSWORD_FILE}" STREQUAL "")
    list(APPEND options -readpass "${PASSWORD_FILE}")
  endif()
  if(NOT "${TIMESTAMP_URL}" STREQUAL "")
    list(APPEND options -ts "${TIMESTAMP_URL}")
  endif()
  execute_process(COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${PKCS12}" ${options} -h sha256
                          -in "${FILE}" -out "${signed}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE "${signed}" "${FILE}")
    message(FATAL_ERROR "Signing ${FILE} with ${PKCS12} failed (osslsigncode: ${status}); "
                        "the unsigned file is deleted.")
  endif()
  file(RENAME "${signed}" "${FILE}")
  return()
endif()

include_guard(GLOBAL)

set(VELQUOR_SIGN_PKCS12 "" CACHE FILEPATH
    "Code-signing certificate and key (.p12/.pfx) that signs the installer (empty: unsigned)")
set(VELQUOR_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File that holds the password of VELQUOR_SIGN_PKCS12 (empty: it has none)")
set(VELQUOR_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping server for the signature (empty: no time stamp)")
set(VELQUOR_CODE_SIGNING_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(velquor_sign_executable target)
  cmake_parse_arguments(arg "" "PKCS12;PASSWORD_FILE;TIMESTAMP_URL" "" ${ARGN})
  # A keyword given an empty value ("") means none, not the cache variable's.
  foreach(name PKCS12 PASSWORD_FILE TIMESTAMP_URL)
    if(NOT DEFINED arg_${name} AND NOT name IN_LIST arg_KEYWORDS_MISSING_VALUES)
      set(arg_${name} "${VELQUOR_SIGN_${name}}")
    endif()
  endforeach()
  if("${arg_PKCS12}" STREQUAL "")
    return()
  endif()
  find_program(VELQUOR_OSSLSIGNCODE osslsigncode REQUIRED)
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${VELQUOR_OSSLSIGNCODE}
                             -DFILE=$<TARGET_FILE:${target}> -DPKCS12=${arg_PKCS12}
                             -DPASSWORD_FILE=${arg_PASSWORD_FILE}
                             -DTIMESTAMP_URL=${arg_TIMESTAMP_URL}
                             -P ${VELQUOR_CODE_SIGNING_SCRIPT}
                     COMMENT "Signing ${target}" VERBATIM)
  # A new certificate signs again.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${arg_PKCS12})
endfunction()
