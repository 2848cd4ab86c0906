# Libraries that other programs link.
#
#   ad_public_library(<target> ABI <n> MAP <version script>)
#     Gives the shared library the file names of a library with a stable interface:
#     lib<name>.so.<n>.0.0, its SONAME lib<name>.so.<n> and the unversioned lib<name>.so
#     for linking. Its exports are the global symbols of the version script, which names
#     them under the node <NAME>_<n> (the target's name in capitals); the number in the
#     node and in the SONAME is one. The library carries no run path: installed, it lies in
#     the prefix's library folder with what it needs, where the loader finds them.
function(ad_public_library target)
  cmake_parse_arguments(L "" "ABI;MAP" "" ${ARGN})
  string(TOUPPER "${target}_${L_ABI}" node)
  file(READ "${L_MAP}" script)
  if(NOT script MATCHES "(^|\n)${node} *{")
    message(FATAL_ERROR "${L_MAP}: the exports of ${target} ${L_ABI} belong to the version node ${node}")
  endif()
  set_target_properties(${target} PROPERTIES
    VERSION ${L_ABI}.0.0 SOVERSION ${L_ABI}
    INSTALL_RPATH ""
    LINK_DEPENDS "${L_MAP}")
  target_link_options(${target} PRIVATE "-Wl,--version-script=${L_MAP}")
endfunction()
