# The install steps that need the prefix chosen when installing (cmake --install
# --prefix) or the installed files themselves; cmake --install runs them after the files
# are in place. AD_PKGCONFIG_IN (the folder of the pkg-config templates) and AD_VERSION
# are set by the install rules. Files are written straight into the installed tree, so
# that installs of one build into several places at once do not share a file, and are
# listed in the install manifest as cmake's own rules list theirs.
set(ad_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# The link in bin to the program, which finds its folder by following it.
message(STATUS "Installing: ${ad_root}/bin/albumdesk")
file(MAKE_DIRECTORY "${ad_root}/bin")
file(CREATE_LINK ../lib/albumdesk/albumdesk "${ad_root}/bin/albumdesk" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_PREFIX}/bin/albumdesk")

# The pkg-config files name the installed folders.
set(AD_PREFIX "${CMAKE_INSTALL_PREFIX}")
foreach(pc zeb_dv32 qm6jpeg)
  message(STATUS "Installing: ${ad_root}/lib/pkgconfig/${pc}.pc")
  configure_file("${AD_PKGCONFIG_IN}/${pc}.pc.in" "${ad_root}/lib/pkgconfig/${pc}.pc" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_PREFIX}/lib/pkgconfig/${pc}.pc")
endforeach()

# Installed into the running system (no DESTDIR: a packager's staging folder, whose
# package refreshes the caches when it is installed), the album types exist only once
# the prefix's MIME database is rebuilt. An icon cache or a desktop entry cache already
# there would hide the new icon and entry, so those are refreshed; where there is none,
# none is made, since a cache that nobody keeps up to date hides what is installed later.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
set(ad_share "${CMAKE_INSTALL_PREFIX}/share")

function(ad_refresh what tool)
  find_program(program_${tool} ${tool})
  if(NOT program_${tool})
    message(WARNING "${tool} not found: the desktop learns of the new files in ${ad_share}/${what} once it is run there")
    return()
  endif()
  execute_process(COMMAND "${program_${tool}}" ${ARGN} "${ad_share}/${what}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(WARNING "${tool} ${ad_share}/${what} failed (${rc})")
  endif()
endfunction()

ad_refresh(mime update-mime-database)
if(EXISTS "${ad_share}/icons/hicolor/icon-theme.cache")
  ad_refresh(icons/hicolor gtk-update-icon-cache -q -f -t)
endif()
if(EXISTS "${ad_share}/applications/mimeinfo.cache")
  ad_refresh(applications update-desktop-database -q)
endif()
