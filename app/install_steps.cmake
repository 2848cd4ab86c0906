# The install steps that need the prefix chosen when installing (cmake --install
# --prefix) or the installed files themselves; cmake --install runs them after the files
# are in place. AD_PKGCONFIG_IN (the folder of the pkg-config templates), AD_VERSION and
# the folders AD_BINDIR, AD_LIBDIR, AD_INCLUDEDIR and AD_DATADIR (GNUInstallDirs, relative
# to the prefix or absolute) are set by the install rules. Files are written straight into
# the installed tree, so that installs of one build into several places at once do not
# share a file, and are listed in the install manifest as cmake's own rules list theirs.
set(ad_root "$ENV{DESTDIR}")

# A folder of the install, as it is named on the machine that uses it (no DESTDIR).
function(ad_folder variable dir)
  cmake_path(ABSOLUTE_PATH dir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE OUTPUT_VARIABLE full)
  string(REGEX REPLACE "(.)/$" "\\1" full "${full}")
  set(${variable} "${full}" PARENT_SCOPE)
endfunction()
ad_folder(ad_prefix ".")
ad_folder(ad_bin "${AD_BINDIR}")
ad_folder(ad_lib "${AD_LIBDIR}")
ad_folder(ad_include "${AD_INCLUDEDIR}")
ad_folder(ad_share "${AD_DATADIR}")

# The link in bin to the program, which finds its folder by following it.
file(RELATIVE_PATH ad_program "${ad_bin}" "${ad_lib}/albumdesk/albumdesk")
message(STATUS "Installing: ${ad_root}${ad_bin}/albumdesk")
file(MAKE_DIRECTORY "${ad_root}${ad_bin}")
file(CREATE_LINK "${ad_program}" "${ad_root}${ad_bin}/albumdesk" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${ad_bin}/albumdesk")

# The pkg-config files lie in the library folder, name the installed folders (by the
# prefix where they lie in it) and give a program that links the libraries no run path:
# the loader finds them in a library folder of the system (for any other prefix, the
# program is told where they are by its own means).
string(LENGTH "${ad_prefix}" ad_prefix_length)
foreach(dir lib include)
  string(FIND "${ad_${dir}}/" "${ad_prefix}/" at)
  if(at EQUAL 0)
    string(SUBSTRING "${ad_${dir}}" ${ad_prefix_length} -1 rest)
    set(AD_PC_${dir} "\${prefix}${rest}")
  else()
    set(AD_PC_${dir} "${ad_${dir}}")
  endif()
endforeach()
set(AD_PREFIX "${ad_prefix}")
foreach(pc zeb_dv32 qm6jpeg)
  message(STATUS "Installing: ${ad_root}${ad_lib}/pkgconfig/${pc}.pc")
  configure_file("${AD_PKGCONFIG_IN}/${pc}.pc.in" "${ad_root}${ad_lib}/pkgconfig/${pc}.pc" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${ad_lib}/pkgconfig/${pc}.pc")
endforeach()

# Installed into the running system (no DESTDIR), the prefix's desktop entry database, MIME
# database and icon cache are built, or rebuilt, as a distribution's package triggers build
# them: without the entry database the desktop knows no program for the album types, and
# without the MIME database it does not know the types. A DESTDIR install is a packager's
# staging folder, whose package has them built when it is installed.
if(NOT ad_root STREQUAL "")
  return()
endif()

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
ad_refresh(applications update-desktop-database -q)
# The prefix's hicolor folder has no theme index of its own (-t): the theme's index lies in
# /usr/share.
ad_refresh(icons/hicolor gtk-update-icon-cache -q -f -t)
