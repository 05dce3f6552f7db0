# Run by CPack after it has installed the package's files and before it packs them: every
# folder gets rwxr-xr-x whatever the umask of whoever builds, since dpkg creates the folders
# exactly as the package holds them.
file(GLOB_RECURSE folders LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(APPEND folders "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}")
    file(CHMOD "${folder}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
