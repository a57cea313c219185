# resourceFiles.cmake: the names of the art and sound files that tools/makeResources makes in
# resources/ and every shell carries, written once here. C++ and the resource script read them
# from the header made below (resourceNames.h), the browser page from its files as the build makes them.
set(PILARO_BACKDROP_FILE backdrop.bmp)
set(PILARO_TILES_FILE tiles.bmp)
# In the order of the core's sound ids (present/sound.h): sound id n plays the n-th file.
set(PILARO_SOUND_FILES turn.wav move.wav rowsCleared.wav hardDrop.wav)

# Everything the browser page is served as (src/platform/web collects them, the play settings
# name them): the page, the program, its service worker and manifest, the icons, the art and sounds.
set(PILARO_MASKABLE_ICONS pilaro-maskable-192.png pilaro-maskable-512.png)
# The page's own modules (src/platform/web) as they are served: start.js is the one the page names,
# which imports the others; notices.js, update.js, files.js and lock.js are shared by them all; page.js
# (the game) and watch.js (a kept game watched) are each built with the parts that only they import
# (PILARO_PAGE_PARTS) inside. A start from the service worker's cache then asks it for 7 scripts,
# not 18: each file it serves costs the worker's thread a fetch event, and the cached start waited
# for the last of them.
set(PILARO_PAGE_MODULES start.js notices.js update.js files.js lock.js page.js watch.js)
set(PILARO_PAGE_BUNDLES page.js watch.js)
set(PILARO_PAGE_PARTS core.js keys.js storage.js drawing.js sound.js boxes.js picker.js ranking.js controls.js app.js)
# The page carries the art as PNG, made from the BMPs at build time (src/platform/web/pngFromBmp.py):
# the same pixels in 3 KB rather than 660 KB, which the service worker's cache hands to every start
# and the page decodes.
string(REGEX REPLACE "\\.bmp$" ".png" PILARO_WEB_BACKDROP_FILE ${PILARO_BACKDROP_FILE})
string(REGEX REPLACE "\\.bmp$" ".png" PILARO_WEB_TILES_FILE ${PILARO_TILES_FILE})
set(PILARO_PAGE_FILES index.html page.css ${PILARO_PAGE_MODULES} pilaro.js pilaro.wasm sw.js manifest.webmanifest
  ${PILARO_MASKABLE_ICONS} ${PILARO_WEB_BACKDROP_FILE} ${PILARO_WEB_TILES_FILE} ${PILARO_SOUND_FILES})

set(PILARO_ART ${PILARO_BACKDROP_FILE} ${PILARO_TILES_FILE})
list(TRANSFORM PILARO_ART PREPEND ${PROJECT_SOURCE_DIR}/resources/)
list(TRANSFORM PILARO_SOUND_FILES PREPEND ${PROJECT_SOURCE_DIR}/resources/ OUTPUT_VARIABLE PILARO_SOUNDS)

set(soundMacros "")
set(soundList "")
set(id 0)
foreach(name IN LISTS PILARO_SOUND_FILES)
  string(APPEND soundMacros "#define PILARO_SOUND_FILE_${id} \"${name}\"\n")
  list(APPEND soundList "PILARO_SOUND_FILE_${id}")
  math(EXPR id "${id} + 1")
endforeach()
list(JOIN soundList ", " soundList)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/resourceNames.h @ONLY CONTENT [[
// resourceNames.h: the art and sound files of resources/, as named in cmake/resourceFiles.cmake
// (made from it by CMake). Macros, so that the resource compiler reads them too.
#pragma once

#define PILARO_BACKDROP_FILE "@PILARO_BACKDROP_FILE@"
#define PILARO_TILES_FILE "@PILARO_TILES_FILE@"
// The file of sound id n is PILARO_SOUND_FILE_n; PILARO_SOUND_FILES lists them in that order.
@soundMacros@#define PILARO_SOUND_FILES @soundList@
]])
include_directories(${PROJECT_BINARY_DIR}/generated)
