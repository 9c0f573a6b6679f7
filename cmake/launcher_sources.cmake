# The launcher's sources, listed once for the program (top CMakeLists.txt)
# and for the native unit tests and fuzz targets (tests/unit, tests/fuzz),
# which include this file from projects of their own.
set(LAUNCHER_DIR ${CMAKE_CURRENT_LIST_DIR}/../src/launcher)
get_filename_component(LAUNCHER_DIR ${LAUNCHER_DIR} ABSOLUTE)
# Byte logic: no Windows headers, also built natively for the tests.
set(LAUNCHER_BYTE_SOURCES
    ${LAUNCHER_DIR}/text_buffer.cpp
    ${LAUNCHER_DIR}/path_split.cpp
    ${LAUNCHER_DIR}/replace_token.cpp
    ${LAUNCHER_DIR}/launch_sequence.cpp
    ${LAUNCHER_DIR}/program_lookup.cpp
    ${LAUNCHER_DIR}/execute_and_wait.cpp)
# The Windows side, built only into Tavrel.exe.
set(LAUNCHER_WIN32_SOURCES
    ${LAUNCHER_DIR}/path_split_win32.cpp
    ${LAUNCHER_DIR}/execute_and_wait_win32.cpp
    ${LAUNCHER_DIR}/launch_sequence_win32.cpp
    ${LAUNCHER_DIR}/freestanding.cpp)
