# The registry layout tests read back with vomo-reg what the code wrote.
if(TARGET test_registry)
  target_compile_definitions(test_registry PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>")
  add_dependencies(test_registry vomo_reg)
endif()
