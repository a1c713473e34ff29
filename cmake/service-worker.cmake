# Writes the playground's service worker into WEB (the built page) from TEMPLATE: the list of
# every file the page loads, and a cache name made of their hash, so that each build has a
# cache of its own.
#   cmake -DWEB=DIR -DTEMPLATE=web/sw.js -P cmake/service-worker.cmake
set(files ./ index.html app.js style.css editor.css worker.js vorn.js favicon.svg examples/index.json)
file(GLOB examples RELATIVE ${WEB} ${WEB}/examples/*.s)
list(SORT examples)
list(APPEND files ${examples})
set(hashes "")
set(quoted "")
foreach(f IN LISTS files)
  if(NOT f STREQUAL "./")
    file(SHA256 ${WEB}/${f} h)
    string(APPEND hashes "${f} ${h}\n")
  endif()
  list(APPEND quoted "'${f}'")
endforeach()
string(SHA256 version "${hashes}")
string(SUBSTRING ${version} 0 16 VERSION)
list(JOIN quoted ", " FILES)
configure_file(${TEMPLATE} ${WEB}/sw.js @ONLY)
