# The command-line tools and the installed tree are those of the Linux build.
if(WIN32)
  return()
endif()
# The vomo-reg, vomo-dist and vcm tests run the tools themselves.
target_compile_definitions(test_tools PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>"
                                              VOMO_DIST_PATH="$<TARGET_FILE:vomo_dist>"
                                              VCM_PATH="$<TARGET_FILE:vcm_host>")
add_dependencies(test_tools vomo_reg vomo_dist vcm_host)
# vcm setup's own rules (plug-in tests, wizard pages) are tested on their library.
target_link_libraries(test_tools PRIVATE vcm_setup)

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
