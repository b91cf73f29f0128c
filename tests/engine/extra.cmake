# Some engine tests set up registry keys with vomo-reg, as an installer package would (Linux
# only: those cases are left out of the Windows run).
if(TARGET test_engine AND TARGET vomo_reg)
  target_compile_definitions(test_engine PRIVATE VOMO_REG_PATH="$<TARGET_FILE:vomo_reg>")
  add_dependencies(test_engine vomo_reg)
elseif(TARGET test_engine)
  target_compile_definitions(test_engine PRIVATE VOMO_REG_PATH="")
endif()
# The manifest reference's example is read from the source tree (drive Z: under Wine).
if(TARGET test_engine)
  if(WIN32)
    target_compile_definitions(test_engine PRIVATE VCM_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}")
  else()
    target_compile_definitions(test_engine PRIVATE VCM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  endif()
endif()
