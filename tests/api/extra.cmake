# Checks of the library as hosts see it: a C host, a C++ host that loads it at run time (dlopen,
# or LoadLibraryW on Windows), and the list of exported symbols.

# The README's table of result codes is read by the test of the names vcm.h gives them (under
# Wine the source tree is on drive Z:).
if(WIN32)
  target_compile_definitions(test_api PRIVATE VCM_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}")
else()
  target_compile_definitions(test_api PRIVATE VCM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()

if(WIN32)
  # Under Wine the folders of this tree are on drive Z:; the library is found beside the hosts.
  set(vcm_wine_binary_dir "Z:${CMAKE_CURRENT_BINARY_DIR}")
  set(vcm_host_environment
    "VOMO_MANIFEST_URL=http://127.0.0.1:1/vomo/setup/manifest.cab;VOMO_INSTALLER_URL=http://127.0.0.1")
  add_executable(test_c_host ${CMAKE_CURRENT_SOURCE_DIR}/api/boundary/c_host.c)
  target_include_directories(test_c_host PRIVATE ${CMAKE_SOURCE_DIR}/include)
  add_dependencies(test_c_host vcm)
  add_test(NAME api.c_host COMMAND test_c_host)
  set_tests_properties(api.c_host PROPERTIES LABELS api
    ENVIRONMENT "${vcm_host_environment};VOMO_LOG_DIR=${vcm_wine_binary_dir}/c-host-log")

  add_executable(test_exports ${CMAKE_CURRENT_SOURCE_DIR}/api/boundary/ExportsTest.cpp
                              ${CMAKE_CURRENT_SOURCE_DIR}/support/LoadedExports_win32.cpp)
  target_include_directories(test_exports PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(test_exports PRIVATE VCM_LIBRARY_PATH="vcm.dll")
  target_link_libraries(test_exports PRIVATE GTest::gtest GTest::gtest_main)
  add_dependencies(test_exports vcm)
  gtest_discover_tests(test_exports DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS api TIMEOUT 300
    ENVIRONMENT "${vcm_host_environment};VOMO_LOG_DIR=${vcm_wine_binary_dir}/exports-log")

  add_test(NAME api.exported_symbols
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/api/boundary/check_exports.sh $<TARGET_FILE:vcm>)
  set_tests_properties(api.exported_symbols PROPERTIES LABELS api)
  return()
endif()

# The C host is written in C89, as the oldest hosts are, so that the header stays usable there.
add_executable(test_c_host ${CMAKE_CURRENT_SOURCE_DIR}/api/boundary/c_host.c)
target_include_directories(test_c_host PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(test_c_host PRIVATE vcm)
set_target_properties(test_c_host PROPERTIES C_STANDARD 90 C_EXTENSIONS OFF)
target_compile_options(test_c_host PRIVATE -pedantic)
add_test(NAME api.c_host COMMAND test_c_host)
set_tests_properties(api.c_host PROPERTIES LABELS api
  ENVIRONMENT "VOMO_MANIFEST_URL=http://127.0.0.1:1/vomo/setup/manifest.cab;VOMO_INSTALLER_URL=http://127.0.0.1;VOMO_REGISTRY_ROOT=${CMAKE_CURRENT_BINARY_DIR}/c-host-registry;VOMO_LOG_DIR=${CMAKE_CURRENT_BINARY_DIR}/c-host-log")

add_executable(test_exports ${CMAKE_CURRENT_SOURCE_DIR}/api/boundary/ExportsTest.cpp
                            ${CMAKE_CURRENT_SOURCE_DIR}/support/LoadedExports.cpp)
target_include_directories(test_exports PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_exports PRIVATE VCM_LIBRARY_PATH="$<TARGET_FILE:vcm>")
target_link_libraries(test_exports PRIVATE GTest::gtest GTest::gtest_main ${CMAKE_DL_LIBS})
add_dependencies(test_exports vcm)
gtest_discover_tests(test_exports DISCOVERY_MODE PRE_TEST
  PROPERTIES LABELS api TIMEOUT 300
  ENVIRONMENT "VOMO_MANIFEST_URL=http://127.0.0.1:1/vomo/setup/manifest.cab;VOMO_INSTALLER_URL=http://127.0.0.1;VOMO_REGISTRY_ROOT=${CMAKE_CURRENT_BINARY_DIR}/exports-registry;VOMO_LOG_DIR=${CMAKE_CURRENT_BINARY_DIR}/exports-log")

add_test(NAME api.exported_symbols
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/api/boundary/check_exports.sh $<TARGET_FILE:vcm>)
set_tests_properties(api.exported_symbols PROPERTIES LABELS api)

# Manifest preparation end to end: libvcm.so loaded by a host, signed cabinets served locally.
add_executable(test_signed_manifest ${CMAKE_CURRENT_SOURCE_DIR}/api/boundary/SignedManifestTest.cpp)
target_compile_definitions(test_signed_manifest PRIVATE VCM_LIBRARY_PATH="$<TARGET_FILE:vcm>"
  VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>" VOMO_DIST_PATH="$<TARGET_FILE:vomo_dist>"
  VCM_PATH="$<TARGET_FILE:vcm_host>")
target_link_libraries(test_signed_manifest PRIVATE vcm_test_support ${CMAKE_DL_LIBS})
add_dependencies(test_signed_manifest vcm vomo_reg vomo_dist vcm_host)
gtest_discover_tests(test_signed_manifest DISCOVERY_MODE PRE_TEST
  PROPERTIES LABELS api TIMEOUT 300)
