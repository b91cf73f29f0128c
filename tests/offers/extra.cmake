# The offer tests load the demo's sample manifest, which holds every section.
if(TARGET test_offers)
  target_compile_definitions(test_offers PRIVATE
    VCM_SAMPLE_MANIFEST="${CMAKE_SOURCE_DIR}/scripts/demo-data/manifest.xml")
endif()
