# Authenticode signing of Tavrel.exe with the vendor's certificate, included
# by the top-level CMakeLists.txt only when a certificate is given. The
# signed copy is signed/Tavrel.exe, with its detached signature beside it
# (signed/Tavrel.exe.sig); Tavrel.exe itself stays the unsigned image that
# anyone can rebuild byte for byte.
#
# Passwords are read by osslsigncode from TAVREL_SIGN_PASSFILE: they never
# reach a command line, a build file or the cache.

set(TAVREL_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file (.pfx) holding the signing certificate, its chain and key")
set(TAVREL_SIGN_CERT "" CACHE FILEPATH "Signing certificate and its chain (PEM or DER), used with TAVREL_SIGN_KEY")
set(TAVREL_SIGN_KEY "" CACHE FILEPATH "Private key of TAVREL_SIGN_CERT, encrypted or not")
set(TAVREL_SIGN_PASSFILE "" CACHE FILEPATH "File whose first line is the password of the PKCS#12 file or of the encrypted key")
set(TAVREL_SIGN_NAME "Tavrel" CACHE STRING "Program name stored in the signature; the elevation prompt shows it")
set(TAVREL_SIGN_URL "" CACHE STRING "Vendor's web address stored in the signature; empty: none")
set(TAVREL_SIGN_TIME 0 CACHE STRING "Signing time in seconds since 1970, fixed so that RSA signatures are byte-reproducible")
set(TAVREL_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp server for real releases (needs the network; the result is no longer reproducible); empty: none")

function(tavrel_sign_absolute variable)
    if(${variable})
        get_filename_component(path "${${variable}}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
        if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
            message(FATAL_ERROR "${variable}: expected a file, got '${${variable}}' (${path})")
        endif()
        set(${variable} "${path}" PARENT_SCOPE)
    endif()
endfunction()
foreach(variable TAVREL_SIGN_PKCS12 TAVREL_SIGN_CERT TAVREL_SIGN_KEY TAVREL_SIGN_PASSFILE)
    tavrel_sign_absolute(${variable})
endforeach()

if(TAVREL_SIGN_PKCS12 AND (TAVREL_SIGN_CERT OR TAVREL_SIGN_KEY))
    message(FATAL_ERROR "Signing: give either TAVREL_SIGN_PKCS12 or TAVREL_SIGN_CERT with TAVREL_SIGN_KEY, not both")
endif()
if(TAVREL_SIGN_PKCS12 AND NOT TAVREL_SIGN_PASSFILE)
    message(FATAL_ERROR "Signing with TAVREL_SIGN_PKCS12 needs TAVREL_SIGN_PASSFILE, a file holding its password")
endif()
if(TAVREL_SIGN_CERT AND NOT TAVREL_SIGN_KEY)
    message(FATAL_ERROR "Signing with TAVREL_SIGN_CERT needs TAVREL_SIGN_KEY, its private key")
endif()
if(NOT TAVREL_SIGN_TIME MATCHES "^[0-9]+$")
    message(FATAL_ERROR "TAVREL_SIGN_TIME: expected seconds since 1970, got '${TAVREL_SIGN_TIME}'")
endif()

find_program(TAVREL_OSSLSIGNCODE osslsigncode)
if(NOT TAVREL_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (Debian package osslsigncode; scripts/install-deps.sh installs it)")
endif()
# Signatures made by different versions differ: the bundle names the one used.
execute_process(COMMAND ${TAVREL_OSSLSIGNCODE} --version
                OUTPUT_VARIABLE version_text ERROR_QUIET RESULT_VARIABLE version_result)
string(REGEX MATCH "osslsigncode [^,\n]*" TAVREL_OSSLSIGNCODE_VERSION "${version_text}")
string(REGEX MATCH "OpenSSL [0-9][^ \n]*" openssl_version "${version_text}")
if(NOT version_result EQUAL 0 OR NOT TAVREL_OSSLSIGNCODE_VERSION)
    message(FATAL_ERROR "${TAVREL_OSSLSIGNCODE} --version: expected a version, got '${version_text}'")
endif()
if(openssl_version)
    string(APPEND TAVREL_OSSLSIGNCODE_VERSION " (${openssl_version})")
endif()
message(STATUS "Signing signed/Tavrel.exe with ${TAVREL_OSSLSIGNCODE_VERSION}")

set(TAVREL_SIGNED_EXE ${CMAKE_BINARY_DIR}/signed/Tavrel.exe)
set(TAVREL_SIGNATURE ${CMAKE_BINARY_DIR}/signed/Tavrel.exe.sig)
set(credential_files ${TAVREL_SIGN_PKCS12} ${TAVREL_SIGN_CERT} ${TAVREL_SIGN_KEY} ${TAVREL_SIGN_PASSFILE})
add_custom_command(OUTPUT ${TAVREL_SIGNED_EXE} ${TAVREL_SIGNATURE}
    COMMAND ${CMAKE_COMMAND}
            -DOSSLSIGNCODE=${TAVREL_OSSLSIGNCODE}
            -DINPUT=$<TARGET_FILE:Tavrel> -DOUTPUT=${TAVREL_SIGNED_EXE} -DSIGNATURE=${TAVREL_SIGNATURE}
            -DPKCS12=${TAVREL_SIGN_PKCS12} -DCERT=${TAVREL_SIGN_CERT} -DKEY=${TAVREL_SIGN_KEY}
            -DPASSFILE=${TAVREL_SIGN_PASSFILE} -DNAME=${TAVREL_SIGN_NAME} -DURL=${TAVREL_SIGN_URL}
            -DTIME=${TAVREL_SIGN_TIME} -DTIMESTAMP_URL=${TAVREL_SIGN_TIMESTAMP_URL}
            -P ${CMAKE_CURRENT_LIST_DIR}/sign_file.cmake
    DEPENDS Tavrel $<TARGET_FILE:Tavrel> ${CMAKE_CURRENT_LIST_DIR}/sign_file.cmake ${credential_files}
    COMMENT "Signing signed/Tavrel.exe"
    VERBATIM)
add_custom_target(Tavrel_signed ALL DEPENDS ${TAVREL_SIGNED_EXE} ${TAVREL_SIGNATURE})
