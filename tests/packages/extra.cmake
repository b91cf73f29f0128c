# Local HTTP servers in the tests (cpp-httplib ships as a compiled library on Debian).
if(NOT WIN32)
  pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  target_link_libraries(test_packages PRIVATE PkgConfig::CPP_HTTPLIB)
  # The elevated road runs the build tree's elevation helper.
  target_compile_definitions(test_packages PRIVATE VCM_ELEVATE_PATH="$<TARGET_FILE:vcm_elevate>")
  add_dependencies(test_packages vcm_elevate)
endif()
