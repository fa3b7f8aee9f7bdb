# The demo playlist and its three clips, generated beside the binary: the
# player opens list.m3u from its own folder on start.
find_program(BASH_PROGRAM bash REQUIRED)
find_program(FFMPEG_PROGRAM ffmpeg REQUIRED)
find_program(VCDIMAGER_PROGRAM vcdimager REQUIRED)

set(TEMBRIO_MEDIA_SCRIPT ${PROJECT_SOURCE_DIR}/resources/media.sh)

# list.m3u is written last, so it stands for the whole set.
add_custom_command(
  OUTPUT
    ${CMAKE_BINARY_DIR}/list.m3u
    ${CMAKE_BINARY_DIR}/demo/1-videocd.dat
    ${CMAKE_BINARY_DIR}/demo/2-video.avi
    ${CMAKE_BINARY_DIR}/demo/3-mpeg.mpg
  COMMAND ${BASH_PROGRAM} ${TEMBRIO_MEDIA_SCRIPT} demo ${CMAKE_BINARY_DIR}
  DEPENDS ${TEMBRIO_MEDIA_SCRIPT}
  COMMENT "Generating the demo clips and list.m3u"
  VERBATIM)

# The list an install starts with: the same clips, named by their absolute
# path under the install prefix.
set(_list ${PROJECT_BINARY_DIR}/generated/list.m3u)
add_custom_command(
  OUTPUT ${_list}
  COMMAND ${BASH_PROGRAM} ${TEMBRIO_MEDIA_SCRIPT} demo-list ${_list}
    ${CMAKE_INSTALL_FULL_DATADIR}/tembrio/demo
  DEPENDS ${TEMBRIO_MEDIA_SCRIPT}
  COMMENT "Generating the installed list.m3u"
  VERBATIM)
add_custom_target(demo_media ALL DEPENDS ${CMAKE_BINARY_DIR}/list.m3u ${_list})
