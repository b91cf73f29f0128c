# The test installers record their install directory with vomo-reg, as real packages do.
if(TARGET test_sessions)
  target_compile_definitions(test_sessions PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>")
  add_dependencies(test_sessions vomo_reg)
endif()
