# The vomo-reg tests run the tool itself.
target_compile_definitions(test_tools PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>")
add_dependencies(test_tools vomo_reg)
