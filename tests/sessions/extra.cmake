# The test installers record their install directory with vomo-reg, as real packages do (Linux
# only: the Windows build leaves these tests out and installs nsis packages end to end instead).
if(TARGET test_sessions AND TARGET vomo_reg)
  target_compile_definitions(test_sessions PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>")
  add_dependencies(test_sessions vomo_reg)
endif()
if(TARGET test_sessions AND TARGET vcm_elevate)
  # The elevated road runs the build tree's elevation helper.
  target_compile_definitions(test_sessions PRIVATE VCM_ELEVATE_PATH="$<TARGET_FILE:vcm_elevate>")
  add_dependencies(test_sessions vcm_elevate)
endif()
