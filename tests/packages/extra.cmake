# Local HTTP servers in the tests (cpp-httplib ships as a compiled library on Debian).
if(NOT WIN32)
  pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  target_link_libraries(test_packages PRIVATE PkgConfig::CPP_HTTPLIB)
endif()
