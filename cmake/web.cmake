# web.cmake: builds the browser page as a build of its own inside this one (emscripten is a
# different compiler), so that the project's build makes the page and the tests find it.
include(ExternalProject)
find_program(PILARO_EMCC emcc REQUIRED)
get_filename_component(emccHome ${PILARO_EMCC} REALPATH)
get_filename_component(emccHome ${emccHome} DIRECTORY)
set(PILARO_WEB_BUILD_DIR ${CMAKE_BINARY_DIR}/web)
# Where the page ends up: scripts/ranking-server serves this folder at /play/.
set(PILARO_WEB_PAGE ${PILARO_WEB_BUILD_DIR}/play)
ExternalProject_Add(pilaro_web_build
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${PILARO_WEB_BUILD_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${emccHome}/cmake/Modules/Platform/Emscripten.cmake
    -DCMAKE_BUILD_TYPE=MinSizeRel
    -DPILARO_BUILD_TESTS=OFF
  INSTALL_COMMAND ""
  # The inner build knows its own dependencies; ask it every time.
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD OFF)
