# The Windows program: Tembrio.exe, a GUI program, with its version record
# and icon as Windows resources. The folder, zip and installer are made from
# it by resources/windows/package.sh (bash build.sh windows).
enable_language(RC)
set_target_properties(tembrio PROPERTIES OUTPUT_NAME Tembrio WIN32_EXECUTABLE ON)
set(TEMBRIO_ICON ${PROJECT_SOURCE_DIR}/resources/tembrio.ico)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tembrio.rc.in ${PROJECT_BINARY_DIR}/generated/tembrio.rc @ONLY)
target_sources(tembrio PRIVATE ${PROJECT_BINARY_DIR}/generated/tembrio.rc)
# UTF-8 in, UTF-16 in the record, as code page 1200 says.
set_property(SOURCE ${PROJECT_BINARY_DIR}/generated/tembrio.rc APPEND PROPERTY COMPILE_OPTIONS -c65001)
