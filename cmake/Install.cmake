# Installation (cmake --install). The Debian packages (debian/, built by scripts/package) take
# these files apart by path; the components name the same division for a partial install:
#   runtime  libvcm.so.1 and its versioned file                       -> libvcm1
#   dev      vcm.h, libvcm.so, vcm.pc, the CMake package, vcm(3)       -> libvcm-dev
#   tools    vcm, vomo-reg, vomo-dist and their manual pages          -> vcm-tools
include(CMakePackageConfigHelpers)

install(TARGETS vcm EXPORT vcmTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES include/vcm/vcm.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vcm COMPONENT dev)
install(FILES man/vcm.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)
# One page name per function (man VCM_Initialize), each a link to vcm(3).
foreach(function VCM_Initialize VCM_AddSpec VCM_FindComponents VCM_CheckForUpdates
                 VCM_UpdateComponents VCM_Shutdown)
  file(WRITE ${CMAKE_BINARY_DIR}/man3/${function}.3 ".so man3/vcm.3\n")
  install(FILES ${CMAKE_BINARY_DIR}/man3/${function}.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
          COMPONENT dev)
endforeach()

install(TARGETS vcm_host vomo_reg vomo_dist RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(FILES man/vcm.1 man/vomo-reg.1 man/vomo-dist.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)

# pkg-config: vcm.pc names the absolute folders of the prefix installed into, so that
# pkg-config leaves out the system's own folders. It is written when installing, so that
# cmake --install --prefix DIR gets DIR's.
install(CODE "
  set(vcm_libdir \"${CMAKE_INSTALL_LIBDIR}\")
  set(vcm_includedir \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(vcm_pc_in \"${CMAKE_SOURCE_DIR}/cmake/vcm.pc.in\")
  set(vcm_pc_out \"${CMAKE_BINARY_DIR}/vcm.pc\")
  set(PROJECT_DESCRIPTION \"${PROJECT_DESCRIPTION}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  include(\"${CMAKE_SOURCE_DIR}/cmake/WritePkgConfig.cmake\")" COMPONENT dev)
install(FILES ${CMAKE_BINARY_DIR}/vcm.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# find_package(vcm) giving the imported target vcm::vcm.
set(vcm_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vcm)
install(EXPORT vcmTargets NAMESPACE vcm:: DESTINATION ${vcm_cmake_dir} COMPONENT dev)
configure_package_config_file(cmake/vcmConfig.cmake.in ${CMAKE_BINARY_DIR}/vcmConfig.cmake
  INSTALL_DESTINATION ${vcm_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vcmConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vcmConfig.cmake ${CMAKE_BINARY_DIR}/vcmConfigVersion.cmake
  DESTINATION ${vcm_cmake_dir} COMPONENT dev)
