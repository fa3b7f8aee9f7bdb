# Application icon and button picture (regenerate with make-images.sh; the
# generated files are committed so the build needs no ImageMagick), plus the
# version record.
qt_add_resources(tembrio_resources "images"
  PREFIX "/"
  BASE ${CMAKE_CURRENT_LIST_DIR}
  FILES
    ${CMAKE_CURRENT_LIST_DIR}/tembrio.ico
    ${CMAKE_CURRENT_LIST_DIR}/dxdiag16.png)

# The record's values come from the top-level CMakeLists.txt.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version_info.h.in
  ${PROJECT_BINARY_DIR}/generated/resources/version_info.h @ONLY)
target_include_directories(tembrio_resources PUBLIC ${PROJECT_BINARY_DIR}/generated)

target_sources(tembrio_resources PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/images.h
  ${CMAKE_CURRENT_LIST_DIR}/version.h
  ${CMAKE_CURRENT_LIST_DIR}/version.cpp)
target_link_libraries(tembrio_resources PUBLIC Qt6::Core)

# version.o would otherwise be left out of a program that never calls
# versionRecord(), taking the .tembrio_version section with it.
target_link_options(tembrio_resources INTERFACE "LINKER:--undefined=tembrio_version_record")
