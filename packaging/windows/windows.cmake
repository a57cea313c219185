# windows.cmake: the Windows installer (NSIS, per user, no administrator rights) and the portable
# zip, made from the release pilaro.exe: the targets windows-installer and windows-zip.
find_program(PILARO_MAKENSIS makensis)
find_program(PILARO_ZIP zip)
set(here ${CMAKE_CURRENT_SOURCE_DIR}/windows)
set(installer ${CMAKE_BINARY_DIR}/pilaro-${PROJECT_VERSION}-setup.exe)
set(portableZip ${CMAKE_BINARY_DIR}/pilaro-${PROJECT_VERSION}-windows.zip)

if(PILARO_MAKENSIS)
  add_custom_command(OUTPUT ${installer}
    COMMAND ${PILARO_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DEXE=$<TARGET_FILE:pilaro>
      -DICON=${PROJECT_SOURCE_DIR}/resources/pilaro.ico -DREADME=${here}/readme.txt -DOUTFILE=${installer}
      ${here}/pilaro.nsi
    DEPENDS pilaro ${here}/pilaro.nsi ${here}/readme.txt ${PROJECT_SOURCE_DIR}/resources/pilaro.ico
    VERBATIM)
  add_custom_target(windows-installer DEPENDS ${installer})
endif()

if(PILARO_ZIP)
  # The zip holds one folder, Pilaro, with the exe and its read-me; -X leaves out the owners
  # and times that only a Unix unzip would use.
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/zip/Pilaro)
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/zip)
  add_custom_command(OUTPUT ${portableZip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${portableZip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:pilaro> ${here}/readme.txt ${stage}
    COMMAND ${PILARO_ZIP} -X -q -r ${portableZip} Pilaro
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/zip
    DEPENDS pilaro ${here}/readme.txt
    VERBATIM)
  add_custom_target(windows-zip DEPENDS ${portableZip})
endif()
