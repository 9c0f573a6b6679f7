# The release bundle, release/Tavrel.zip: `cmake --build build --target bundle`.
# Tavrel.exe (the signed copy when signing is configured, with its detached
# signature), the demo .inf as an example, the vendor's guide, the versions
# of the tools that made it, and SHA256SUMS. tools/make_bundle.py keeps the
# zip itself reproducible.

find_program(TAVREL_PYTHON3 NAMES python3)
if(NOT TAVREL_PYTHON3)
    message(FATAL_ERROR "The bundle target needs python3")
endif()

# First line of a tool's --version.
function(tavrel_tool_version tool result)
    execute_process(COMMAND ${tool} --version OUTPUT_VARIABLE text ERROR_QUIET)
    string(REGEX MATCH "^[^\n]*" line "${text}")
    set(${result} "${line}" PARENT_SCOPE)
endfunction()
tavrel_tool_version(${CMAKE_CXX_COMPILER} compiler_version)
tavrel_tool_version(${CMAKE_LINKER} linker_version)
tavrel_tool_version(${CMAKE_RC_COMPILER} rc_version)

set(bundle_info "Tavrel release bundle\n\nTavrel.exe was built with:\n")
string(APPEND bundle_info "  ${compiler_version}\n  ${linker_version}\n  ${rc_version}\n")
string(APPEND bundle_info "  CMake ${CMAKE_VERSION}\n")
set(bundle_files
    demo.inf=${PROJECT_SOURCE_DIR}/demo/demo.inf
    tavrel-demo.txt=${PROJECT_SOURCE_DIR}/demo/tavrel-demo.txt
    vendor-guide.txt=${PROJECT_SOURCE_DIR}/docs/vendor-guide.txt)
if(TARGET Tavrel_signed)
    string(APPEND bundle_info "Tavrel.exe is signed with ${TAVREL_OSSLSIGNCODE_VERSION}, SHA-256, signing time "
           "${TAVREL_SIGN_TIME}. Signatures made by another version of osslsigncode differ.\n")
    list(APPEND bundle_files Tavrel.exe=${TAVREL_SIGNED_EXE} Tavrel.exe.sig=${TAVREL_SIGNATURE})
    set(unsigned_image_option --unsigned-image $<TARGET_FILE:Tavrel>)
    set(bundle_exe_dependencies Tavrel_signed ${TAVREL_SIGNED_EXE} ${TAVREL_SIGNATURE})
else()
    string(APPEND bundle_info "Tavrel.exe is not signed.\n")
    list(APPEND bundle_files Tavrel.exe=$<TARGET_FILE:Tavrel>)
    set(unsigned_image_option)
    set(bundle_exe_dependencies)
endif()
set(bundle_info_file ${CMAKE_BINARY_DIR}/release/BUILD-INFO.in)
file(CONFIGURE OUTPUT ${bundle_info_file} CONTENT "${bundle_info}" @ONLY)

set(TAVREL_BUNDLE ${CMAKE_BINARY_DIR}/release/Tavrel.zip)
add_custom_command(OUTPUT ${TAVREL_BUNDLE}
    COMMAND ${TAVREL_PYTHON3} ${PROJECT_SOURCE_DIR}/tools/make_bundle.py ${TAVREL_BUNDLE}
            --info ${bundle_info_file} ${unsigned_image_option} ${bundle_files}
    DEPENDS Tavrel $<TARGET_FILE:Tavrel> ${bundle_exe_dependencies} ${bundle_info_file}
            ${PROJECT_SOURCE_DIR}/tools/make_bundle.py ${PROJECT_SOURCE_DIR}/demo/demo.inf
            ${PROJECT_SOURCE_DIR}/demo/tavrel-demo.txt ${PROJECT_SOURCE_DIR}/docs/vendor-guide.txt
    COMMENT "Writing release/Tavrel.zip"
    VERBATIM)
add_custom_target(bundle DEPENDS ${TAVREL_BUNDLE})
