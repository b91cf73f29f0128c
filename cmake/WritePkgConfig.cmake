# Run by cmake --install (cmake/Install.cmake): writes vcm.pc for the prefix installed into.
# In: CMAKE_INSTALL_PREFIX (the install's), vcm_libdir and vcm_includedir (relative to the prefix,
# or absolute), vcm_pc_in, vcm_pc_out, PROJECT_DESCRIPTION, PROJECT_VERSION.
set(vcm_pc_prefix "${CMAKE_INSTALL_PREFIX}")
foreach(name libdir includedir)
  if(IS_ABSOLUTE "${vcm_${name}}")
    set(vcm_pc_${name} "${vcm_${name}}")
  else()
    set(vcm_pc_${name} "\${prefix}/${vcm_${name}}")
  endif()
endforeach()
configure_file("${vcm_pc_in}" "${vcm_pc_out}" @ONLY)
