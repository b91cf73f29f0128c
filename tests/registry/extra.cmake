# The registry layout tests read back with vomo-reg what the code wrote (Linux only: those cases
# are left out of the Windows run).
if(TARGET test_registry AND TARGET vomo_reg)
  target_compile_definitions(test_registry PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>")
  add_dependencies(test_registry vomo_reg)
elseif(TARGET test_registry)
  target_compile_definitions(test_registry PRIVATE VOMO_REG_PATH="")
endif()
