# Run by the build (cmake -P): signs INPUT into OUTPUT with osslsigncode and
# extracts the detached signature into SIGNATURE. osslsigncode neither signs
# in place nor overwrites a file, so it writes beside the output and the
# result is renamed into place.
#   -DOSSLSIGNCODE= -DINPUT= -DOUTPUT= -DSIGNATURE= -DPKCS12= | -DCERT= -DKEY=
#   -DPASSFILE= -DNAME= -DURL= -DTIME= -DTIMESTAMP_URL=

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_dir}")
set(signing "${OUTPUT}.signing")
set(extracting "${SIGNATURE}.extracting")
file(REMOVE "${signing}" "${extracting}")

set(arguments sign)
if(PKCS12)
    list(APPEND arguments -pkcs12 "${PKCS12}")
else()
    list(APPEND arguments -certs "${CERT}" -key "${KEY}")
endif()
if(PASSFILE)
    list(APPEND arguments -readpass "${PASSFILE}")
endif()
list(APPEND arguments -h sha256 -n "${NAME}")
if(URL)
    list(APPEND arguments -i "${URL}")
endif()
# osslsigncode always stores a signing time; a fixed one keeps RSA
# signatures byte for byte the same from build to build.
list(APPEND arguments -time "${TIME}")
if(TIMESTAMP_URL)
    list(APPEND arguments -ts "${TIMESTAMP_URL}")
endif()
list(APPEND arguments -in "${INPUT}" -out "${signing}")

execute_process(COMMAND "${OSSLSIGNCODE}" ${arguments}
                RESULT_VARIABLE result OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT result EQUAL 0 OR NOT EXISTS "${signing}")
    file(REMOVE "${signing}")
    message(FATAL_ERROR "osslsigncode sign ${INPUT}: expected success, got ${result}:\n${log}")
endif()

execute_process(COMMAND "${OSSLSIGNCODE}" extract-signature -in "${signing}" -out "${extracting}"
                RESULT_VARIABLE result OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT result EQUAL 0 OR NOT EXISTS "${extracting}")
    file(REMOVE "${signing}" "${extracting}")
    message(FATAL_ERROR "osslsigncode extract-signature: expected success, got ${result}:\n${log}")
endif()

# The signed copy is as runnable as the image it came from.
file(CHMOD "${signing}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(RENAME "${signing}" "${OUTPUT}")
file(RENAME "${extracting}" "${SIGNATURE}")
