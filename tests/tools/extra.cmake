# The command-line tools and the installed tree are those of the Linux build.
if(WIN32)
  return()
endif()
# The vomo-reg, vomo-dist and vcm tests run the tools themselves.
target_compile_definitions(test_tools PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>"
                                              VOMO_DIST_PATH="$<TARGET_FILE:vomo_dist>"
                                              VCM_PATH="$<TARGET_FILE:vcm_host>")
add_dependencies(test_tools vomo_reg vomo_dist vcm_host)

# The installed tree as an integrator gets it: cmake --install into a temporary prefix, the
# example host built with pkg-config and with find_package, the SONAME and symbol versions.
# Hosts built here need the sanitizer the library was built with.
set(vcm_host_flags "")
if(VCM_SANITIZE STREQUAL "address")
  set(vcm_host_flags "-fsanitize=address,undefined")
elseif(VCM_SANITIZE STREQUAL "thread")
  set(vcm_host_flags "-fsanitize=thread")
endif()
add_test(NAME tools.install_tree
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check_install.sh ${CMAKE_BINARY_DIR}
          ${CMAKE_SOURCE_DIR} "${vcm_host_flags}")
set_tests_properties(tools.install_tree PROPERTIES LABELS "tools;no-tsan" TIMEOUT 300)

# The manual pages on an 80-column terminal: no groff or tbl warning, no line wider.
file(GLOB vcm_manual_pages ${CMAKE_SOURCE_DIR}/man/*.[0-9])
add_test(NAME tools.manual_pages
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check_man.sh ${vcm_manual_pages})
set_tests_properties(tools.manual_pages PROPERTIES LABELS "tools;no-tsan" TIMEOUT 60)

# scripts/apt-install against stand-ins for apt-get and dpkg: a mirror caught while it syncs.
add_test(NAME tools.apt_install
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check_apt_install.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(tools.apt_install PROPERTIES LABELS "tools;no-tsan" TIMEOUT 60)
