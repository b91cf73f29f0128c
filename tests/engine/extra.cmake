# Some engine tests set up registry keys with vomo-reg, as an installer package would.
if(TARGET test_engine)
  target_compile_definitions(test_engine PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>")
  add_dependencies(test_engine vomo_reg)
endif()
