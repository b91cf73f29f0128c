# A host as small as a setuid program could be, which the environment tests run as another user.
if(NOT WIN32)
  add_executable(test_environment_host ${CMAKE_CURRENT_SOURCE_DIR}/platform/hosts/environment_host.cpp)
  target_link_libraries(test_environment_host PRIVATE vcm_core)
  target_compile_definitions(test_platform PRIVATE
    ENVIRONMENT_HOST_PATH="$<TARGET_FILE:test_environment_host>")
  add_dependencies(test_platform test_environment_host)
endif()
