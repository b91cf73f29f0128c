# The command-line tools and the installed tree are those of the Linux build.
if(WIN32)
  return()
endif()
# The vomo-reg, vomo-dist and vcm tests run the tools themselves.
target_compile_definitions(test_tools PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>"
                                              VOMO_DIST_PATH="$<TARGET_FILE:vomo_dist>"
                                              VCM_PATH="$<TARGET_FILE:vcm_host>"
                                              VCM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
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

# vcm's JSON documents are read back with the library that writes them; its progress display
# is tested on its own.
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(test_tools PRIVATE nlohmann_json::nlohmann_json)
target_sources(test_tools PRIVATE ${CMAKE_SOURCE_DIR}/tools/vcm/Progress.cpp)

# The systemd units of scheduled updates, as systemd reads them.
add_test(NAME tools.systemd_units
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check_units.sh ${CMAKE_BINARY_DIR}/tools/systemd
          ${CMAKE_SOURCE_DIR}/tools/systemd $<TARGET_FILE:vcm_host> ${CMAKE_SOURCE_DIR}/man)
set_tests_properties(tools.systemd_units PROPERTIES LABELS "tools;no-tsan")

# The bash completion of the tools.
add_test(NAME tools.bash_completion
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check_completion.sh ${CMAKE_SOURCE_DIR}/tools/completion
          $<TARGET_FILE:vomo_reg>)
set_tests_properties(tools.bash_completion PROPERTIES LABELS "tools;no-tsan")
# The manual pages on an 80-column terminal: no groff or tbl warning, no line wider.
file(GLOB vcm_manual_pages ${CMAKE_SOURCE_DIR}/man/*.[0-9])
add_test(NAME tools.manual_pages
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check_man.sh ${vcm_manual_pages})
set_tests_properties(tools.manual_pages PROPERTIES LABELS "tools;no-tsan" TIMEOUT 60)

# scripts/apt-install against stand-ins for apt-get and dpkg: a mirror caught while it syncs.
add_test(NAME tools.apt_install
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/check_apt_install.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(tools.apt_install PROPERTIES LABELS "tools;no-tsan" TIMEOUT 60)
