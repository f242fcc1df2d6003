# Install layout: headers in include/KestroCommonModule, both libraries in lib, a CMake
# package (find_package(KestroCommonModule) -> KestroCommonModule::KestroCommonModule)
# and KestroCommonModule.pc.
include(CMakePackageConfigHelpers)

set(KCM_CMAKE_PACKAGE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/KestroCommonModule")

install(TARGETS KestroPlatform KestroAdo KestroDmo KestroCommonModule
  EXPORT KestroCommonModuleTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${KCM_INSTALL_INCLUDEDIR})

install(EXPORT KestroCommonModuleTargets
  NAMESPACE KestroCommonModule::
  DESTINATION ${KCM_CMAKE_PACKAGE_DIR})

configure_package_config_file(
  "${PROJECT_SOURCE_DIR}/cmake/KestroCommonModuleConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/KestroCommonModuleConfig.cmake"
  INSTALL_DESTINATION ${KCM_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/KestroCommonModuleConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/KestroCommonModuleConfig.cmake"
  "${PROJECT_BINARY_DIR}/KestroCommonModuleConfigVersion.cmake"
  DESTINATION ${KCM_CMAKE_PACKAGE_DIR})

# Relocatable: the prefix is found from the .pc file's own place.
file(RELATIVE_PATH KCM_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file("${PROJECT_SOURCE_DIR}/cmake/KestroCommonModule.pc.in"
  "${PROJECT_BINARY_DIR}/KestroCommonModule.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/KestroCommonModule.pc"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(KCM_BUILD_TOOLS)
  install(TARGETS kcm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
