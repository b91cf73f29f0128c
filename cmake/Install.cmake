# Installation (cmake --install) and the Debian packages (scripts/package, through CPack).
#
# Components, one Debian package each:
#   runtime  libvcm.so.1 and its versioned file                       -> libvcm1
#   dev      vcm.h, libvcm.so, vcm.pc, the CMake package, vcm(3)       -> libvcm-dev
#   tools    vcm, vomo-reg, vomo-dist and their manual pages          -> vcm-tools
include(CMakePackageConfigHelpers)

install(TARGETS vcm EXPORT vcmTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES include/vcm/vcm.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vcm COMPONENT dev)
install(FILES man/vcm.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)

install(TARGETS vcm_host vomo_reg vomo_dist RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(FILES man/vcm.1 man/vomo-reg.1 man/vomo-dist.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)

# pkg-config: the prefix is found from the file's own place, so that the tree can be installed
# under any prefix (cmake --install --prefix) and still be found.
file(RELATIVE_PATH vcm_pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/vcm.pc.in ${CMAKE_BINARY_DIR}/vcm.pc @ONLY)
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

# Debian packages. dpkg-shlibdeps finds the shared libraries each package needs; vcm loads
# libvcm.so.1 at run time, which no tool can see, so the tools name it themselves.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vcm)
set(CPACK_PACKAGE_VENDOR "Vomo")
set(CPACK_PACKAGE_CONTACT "Vomo component manager developers <vcm@vomo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvcm1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Component manager of the Vomo installer and updater (shared library)")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvcm-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libvcm1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Component manager of the Vomo installer and updater (C header, pkg-config and CMake files)")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vcm-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libvcm1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "osslsigncode, gcab")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "Component manager of the Vomo installer and updater (vcm, vomo-reg and vomo-dist)")
include(CPack)
