# One seam between the POSIX and the Windows build: a source Name.cpp whose sibling
# Name_win32.cpp exists is the POSIX half of a pair, and Windows builds the sibling instead;
# Name_win32.cpp alone is Windows-only; `posix_only` names files that only the POSIX build has
# (their job is the system's own on Windows); everything else is shared.
#   vcm_backend_sources(<out-var> <folder> [POSIX_ONLY file...])
function(vcm_backend_sources out folder)
  cmake_parse_arguments(ARG "" "" "POSIX_ONLY" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  set(chosen "")
  foreach(source ${sources})
    get_filename_component(name ${source} NAME_WE)
    get_filename_component(file ${source} NAME)
    if(name MATCHES "_win32$")
      if(WIN32)
        list(APPEND chosen ${source})
      endif()
    elseif(WIN32 AND (EXISTS ${folder}/${name}_win32.cpp OR file IN_LIST ARG_POSIX_ONLY))
      # replaced by the Windows build's own
    else()
      list(APPEND chosen ${source})
    endif()
  endforeach()
  set(${out} ${chosen} PARENT_SCOPE)
endfunction()
