# workerBuild.cmake: writes the service worker (sw.js) with the hash of the page's files in it, so
# that any changed file makes a new worker and a new cache. Run by the build as a script:
#   cmake -DPAGE_DIR=... -DTEMPLATE=.../sw.js.in "-DFILES=index.html;pilaro.js;..." -P workerBuild.cmake
set(hashes "")
set(PAGE_FILES "'./'")
foreach(name IN LISTS FILES)
  file(SHA256 ${PAGE_DIR}/${name} hash)
  string(APPEND hashes "${name} ${hash}\n")
  if(NOT name STREQUAL "index.html")
    string(APPEND PAGE_FILES ", '${name}'")
  endif()
endforeach()
string(SHA256 PAGE_HASH "${hashes}")
string(SUBSTRING ${PAGE_HASH} 0 16 PAGE_HASH)
configure_file(${TEMPLATE} ${PAGE_DIR}/sw.js @ONLY)
