# debian.cmake: the install layout of the two Debian packages and the CPack settings that make them.
#   pilaro                 the game (component game)
#   pilaro-ranking-server  the ranking program, its admin command, the browser page and their lighttpd
#                          snippets (component rankingServer)
include(GNUInstallDirs)
set(here ${CMAKE_CURRENT_SOURCE_DIR}/debian)
set(generated ${CMAKE_CURRENT_BINARY_DIR})
set(appId org.pilaro.Pilaro)

find_program(PILARO_GZIP gzip REQUIRED)
# Man pages and changelogs go in gzipped, without a time stamp, so that two builds give the same bytes.
function(pilaro_gzip source target)
  add_custom_command(OUTPUT ${target} COMMAND ${PILARO_GZIP} -9nc ${source} > ${target} DEPENDS ${source} VERBATIM)
endfunction()

configure_file(${here}/50-pilaro-ranking.conf.in ${generated}/50-pilaro-ranking.conf @ONLY)
# The daily backup's settings (a conffile): the ranking, and the folder its copies go to.
set(PILARO_PACKAGE_BACKUPS /var/lib/pilaro/backups)
configure_file(${here}/ranking-server/backup-settings.in ${generated}/pilaro-ranking-backup @ONLY)
configure_file(${here}/changelog.in ${generated}/changelog @ONLY)
configure_file(${here}/${appId}.metainfo.xml.in ${generated}/${appId}.metainfo.xml @ONLY)
pilaro_gzip(${generated}/changelog ${generated}/changelog.gz)
pilaro_gzip(${here}/pilaro.6 ${generated}/pilaro.6.gz)
pilaro_gzip(${here}/pilaro-ranking-admin.8 ${generated}/pilaro-ranking-admin.8.gz)
add_custom_target(pilaro_package_docs ALL DEPENDS ${generated}/changelog.gz ${generated}/pilaro.6.gz
  ${generated}/pilaro-ranking-admin.8.gz)

# The game, under /usr/games as Debian's games are.
if(TARGET pilaro)
  install(TARGETS pilaro RUNTIME DESTINATION games COMPONENT game)
  # The sound module, which the game looks for in ../lib/games/pilaro from where it lies.
  install(TARGETS pilaro_sound LIBRARY DESTINATION lib/games/pilaro COMPONENT game)
  install(FILES ${here}/${appId}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT game)
  install(FILES ${generated}/${appId}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT game)
  foreach(size 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/pilaro-${size}.png RENAME pilaro.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT game)
  endforeach()
  install(FILES ${generated}/pilaro.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT game)
  install(FILES ${here}/copyright ${generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pilaro COMPONENT game)
endif()

# The ranking server: the program lighttpd runs, kept out of PATH; the operator's command in sbin.
if(TARGET pilaro-ranking)
  install(TARGETS pilaro-ranking RUNTIME DESTINATION lib/pilaro COMPONENT rankingServer)
  install(TARGETS pilaro-ranking-admin RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT rankingServer)
  # The daily backup: a timer and its service, installed disabled, the script they run beside the
  # program, and its settings in /etc/default.
  install(PROGRAMS ${here}/ranking-server/pilaro-ranking-backup DESTINATION lib/pilaro COMPONENT rankingServer)
  install(FILES ${here}/ranking-server/pilaro-ranking-backup.service ${here}/ranking-server/pilaro-ranking-backup.timer
    DESTINATION lib/systemd/system COMPONENT rankingServer)
  install(FILES ${generated}/pilaro-ranking-backup DESTINATION /etc/default COMPONENT rankingServer)
  install(FILES ${generated}/pilaro-ranking-admin.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT rankingServer)
  # The snippets an operator enables hold the settings; the lighttpd settings they include are the
  # ones the local server runs.
  install(FILES ${generated}/50-pilaro-ranking.conf ${here}/50-pilaro-play.conf
    DESTINATION /etc/lighttpd/conf-available COMPONENT rankingServer)
  install(FILES ${PROJECT_BINARY_DIR}/server/lighttpd/ranking.conf ${PROJECT_BINARY_DIR}/server/lighttpd/ranking-fastcgi.conf
    ${PROJECT_BINARY_DIR}/server/lighttpd/ranking-cgi.conf ${PROJECT_BINARY_DIR}/server/lighttpd/play.conf
    DESTINATION ${CMAKE_INSTALL_DATADIR}/pilaro-ranking-server/lighttpd COMPONENT rankingServer)
  # For nginx (with fcgiwrap), the settings to include in a server block.
  install(FILES ${PROJECT_BINARY_DIR}/server/nginx/ranking.conf
    DESTINATION ${CMAKE_INSTALL_DATADIR}/pilaro-ranking-server/nginx COMPONENT rankingServer)
  # The browser page, served by the ranking's host (it sends its scores there), with its gzip copies.
  if(PILARO_BUILD_WEB)
    install(DIRECTORY ${PILARO_WEB_PAGE}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/pilaro-ranking-server/play
      COMPONENT rankingServer)
  endif()
  # What lighttpd answers by itself for the game's address (a body too large, the program down),
  # as the short code page 932 texts the game can show; the ranking program writes them.
  set(errorPages ${generated}/errors)
  add_custom_command(OUTPUT ${errorPages}/status-413.html
    COMMAND ${CMAKE_COMMAND} -E make_directory ${errorPages}
    COMMAND pilaro-ranking --error-pages ${errorPages}/status-
    DEPENDS pilaro-ranking VERBATIM)
  add_custom_target(pilaro_error_pages ALL DEPENDS ${errorPages}/status-413.html)
  install(DIRECTORY ${errorPages}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/pilaro-ranking-server/errors
    COMPONENT rankingServer)
  install(FILES ${here}/ranking-server/lintian-overrides RENAME pilaro-ranking-server
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT rankingServer)
  # The database folder; postinst gives it to the web server's user.
  install(DIRECTORY DESTINATION /var/lib/pilaro COMPONENT rankingServer)
  install(FILES ${here}/copyright ${generated}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pilaro-ranking-server COMPONENT rankingServer)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pilaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PILARO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL game rankingServer)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PILARO_HOMEPAGE_URL}")

# CPack indents every line after the first itself; an empty line is written as a lone ".".
set(CPACK_DEBIAN_GAME_PACKAGE_NAME pilaro)
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
# libcurl is opened only when a score is sent, so shlibdeps cannot see it; the Japanese texts
# need a Japanese font.
set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "libcurl4, fonts-ipafont-gothic | fonts-japanese-gothic")
set(CPACK_DEBIAN_GAME_DESCRIPTION "falling-block puzzle game
Pieces of four cells fall into a well ten cells wide and twenty tall; slide,
turn and drop them to fill rows, which vanish and score. The level rises with
the score, pieces fall faster, and from level 10 on garbage rows push up from
the bottom. A new best score can be sent, with a name, to an online ranking.
.
All of the game's own text is Japanese.")

set(CPACK_DEBIAN_RANKINGSERVER_PACKAGE_NAME pilaro-ranking-server)
set(CPACK_DEBIAN_RANKINGSERVER_PACKAGE_SECTION web)
set(CPACK_DEBIAN_RANKINGSERVER_PACKAGE_RECOMMENDS "lighttpd")
set(CPACK_DEBIAN_RANKINGSERVER_PACKAGE_CONTROL_EXTRA ${here}/ranking-server/conffiles ${here}/ranking-server/postinst ${here}/ranking-server/prerm
  ${here}/ranking-server/postrm)
set(CPACK_DEBIAN_RANKINGSERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_RANKINGSERVER_DESCRIPTION "online ranking server for the Pilaro game
The program that answers Pilaro's ranking submissions, run by a web server as
a FastCGI responder or a CGI program, keeping the ranking in SQLite, with an
operator command to list, count, check, back up, hide and remove entries and
refuse names, a daily backup timer, the game's browser page, and lighttpd
configuration snippets for both.
.
Installing it enables nothing: enable the snippets with
lighttpd-enable-mod pilaro-ranking pilaro-play and reload lighttpd, and the
backup with systemctl enable --now pilaro-ranking-backup.timer.")

include(CPack)
